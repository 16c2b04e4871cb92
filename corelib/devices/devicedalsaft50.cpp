#include "devices/devicedalsaft50.h"

#include "devices/settingids.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitLine;
using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;
using ZmCoreLib::kUnitPixel;

constexpr int kRotationDegrees = 90;
constexpr int kSensorSizePx = 1028;

constexpr ScalarRange kFramePeriod{500, kUnitMillisecond, 1000, kUnitMillisecond, kUnitMillisecond, 500};
constexpr ScalarRange kExposure{1, kUnitMillisecond, 1000, kUnitMillisecond, kUnitMillisecond, 50};
constexpr ScalarRange kX{0, kUnitPixel, kSensorSizePx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kY{0, kUnitPixel, kSensorSizePx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kWidth{1, kUnitPixel, kSensorSizePx, kUnitPixel, kUnitPixel, kSensorSizePx};
constexpr ScalarRange kHeight{1, kUnitPixel, kSensorSizePx, kUnitPixel, kUnitPixel, kSensorSizePx};

// 100 нс to 1000 мкс, shown in нс on a 25 нс grid.
constexpr ScalarStart kLinePeriod{
    .units = {kUnitNanosecond, kUnitMicrosecond}, .min = 100, .max = 1000000, .step = 25, .value = 1000};
constexpr ScalarStart kChronogramStart{.units = {kUnitLine}, .min = 0, .max = kSensorSizePx, .value = 390};

}  // namespace

DeviceDalsaFT50::DeviceDalsaFT50(std::unique_ptr<IHwLayer> layer, unsigned /*sensor*/, int /*fibreOptic*/,
                                 int /*sensorTemperature*/)
    : DeviceTypeA(std::move(layer)) {
    fpgaBufferCount_ = 4;
    rotation_ = kRotationDegrees;
    windowOffsetP_ = 0;
    windowOffsetQ_ = 0;
    LoadConfiguration("./zmu2310.bit");

    CameraSettings& s = cameraSettings_;
    s.name->SetText(u"Zenmira-K2-FT50");
    s.interfaceName->SetText(u"USB2.0");

    applyRange(*s.framePeriod, kFramePeriod);
    applyRange(*s.exposure, kExposure);
    applyRange(*s.x, kX);
    applyRange(*s.y, kY);
    applyRange(*s.width, kWidth);
    applyRange(*s.height, kHeight);

    s.inputMode = settingFactory_.addEnum(ids::kInputMode, {{ids::kModeFrame, 0}, {ids::kModeLine, 1}},
                                          ids::kModeFrame);
    s.linePeriod = settingFactory_.addScalar(ids::kLinePeriod, kLinePeriod);
    s.chronogramStart = settingFactory_.addScalar(ids::kChronogramStart, kChronogramStart);
    s.syncOutputs = settingFactory_.addEnum(ids::kSyncOutputs, {{ids::kForbidden, 0}, {ids::kAllowed, 1}},
                                            ids::kForbidden);
    // The frame mode it starts in times frames by the exposure; the chronogram start belongs to
    // the line mode.
    s.chronogramStart->SetEnabled(false);
}

}  // namespace ZmCoreLib_v4
