#include "devices/devicesonyicx285.h"

#include "devices/modelselection.h"
#include "devices/serialquery.h"
#include "devices/settingids.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitPixel;

// Binning counts from the whole sensor; the frame offered at start is a little narrower.
constexpr int kSensorWidthPx = 1392;
constexpr int kSensorHeightPx = 1040;
constexpr int kFrameWidthPx = 1380;

constexpr ScalarRange kFramePeriod{10, kUnitMillisecond, 1000, kUnitMillisecond, kUnitMillisecond, 250};
constexpr ScalarRange kExposure{5, kUnitMicrosecond, 1000, kUnitMillisecond, kUnitMillisecond, 25};
constexpr ScalarRange kX{0, kUnitPixel, kFrameWidthPx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kY{0, kUnitPixel, kSensorHeightPx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kWidth{1, kUnitPixel, kFrameWidthPx, kUnitPixel, kUnitPixel, kFrameWidthPx};
constexpr ScalarRange kHeight{1, kUnitPixel, kSensorHeightPx, kUnitPixel, kUnitPixel, kSensorHeightPx};
constexpr ScalarStart kBinning{.units = {kUnitPixel}, .min = 1, .max = 8, .value = 1};

}  // namespace

DeviceSonyIcx285::DeviceSonyIcx285(std::unique_ptr<IHwLayer> layer, int fibreOptic)
    : DeviceTypeA(std::move(layer)) {
    fpgaBufferCount_ = 4;
    rotation_ = 0;
    windowOffsetP_ = 0;
    windowOffsetQ_ = fibreOptic ? registers::kFibreOpticOffset : 0;
    LoadConfiguration(fibreOptic ? "./zmu0100.bit" : "./zmu2200.bit");

    CameraSettings& s = cameraSettings_;
    s.name->SetText(fibreOptic ? u"Zenmira-L2-285" : u"Zenmira-K2-285");
    s.interfaceName->SetText(fibreOptic ? u"USB2.0 FiberOptic" : u"USB2.0");
    if (fibreOptic) {
        showCameraSerials(hw(), registers::kSerialQueryCamera, s);
        addControllerSerial(hw(), settingFactory_, s);
    }

    s.sensor.widthPx = kSensorWidthPx;
    s.sensor.heightPx = kSensorHeightPx;
    applyRange(*s.framePeriod, kFramePeriod);
    applyRange(*s.exposure, kExposure);
    applyRange(*s.x, kX);
    applyRange(*s.y, kY);
    applyRange(*s.width, kWidth);
    applyRange(*s.height, kHeight);

    s.binningX = settingFactory_.addScalar(ids::kBinningX, kBinning);
    s.binningY = settingFactory_.addScalar(ids::kBinningY, kBinning);
}

}  // namespace ZmCoreLib_v4
