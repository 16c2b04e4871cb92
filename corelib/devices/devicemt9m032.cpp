#include "devices/devicemt9m032.h"

#include "devices/modelselection.h"
#include "devices/serialquery.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitPixel;

constexpr int kSensorWidthPx = 1440;
constexpr int kSensorHeightPx = 1080;

constexpr ScalarRange kFramePeriod{10, kUnitMillisecond, 1000, kUnitMillisecond, kUnitMillisecond, 1000};
// Asked for 1 мкс, the exposure starts at its minimum, 1000 мкс.
constexpr ScalarRange kExposure{1, kUnitMillisecond, 1000, kUnitMillisecond, kUnitMicrosecond, 1};
constexpr ScalarRange kX{0, kUnitPixel, kSensorWidthPx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kY{0, kUnitPixel, kSensorHeightPx - 1, kUnitPixel, kUnitPixel, 0};
constexpr ScalarRange kWidth{1, kUnitPixel, kSensorWidthPx, kUnitPixel, kUnitPixel, kSensorWidthPx};
constexpr ScalarRange kHeight{1, kUnitPixel, kSensorHeightPx, kUnitPixel, kUnitPixel, kSensorHeightPx};

}  // namespace

DeviceMT9M032::DeviceMT9M032(std::unique_ptr<IHwLayer> layer, int fibreOptic)
    : DeviceTypeA(std::move(layer)) {
    fpgaBufferCount_ = 4;
    rotation_ = 0;
    windowOffsetP_ = 0;
    windowOffsetQ_ = fibreOptic ? registers::kFibreOpticOffset : 0;
    LoadConfiguration(fibreOptic ? "./zmu0200n.bit" : "./zmu2200.bit");

    CameraSettings& s = cameraSettings_;
    s.name->SetText(u"Zenmira-M2-MT9M032");
    s.interfaceName->SetText(fibreOptic ? u"USB2.0 FiberOptic" : u"USB2.0");
    if (fibreOptic) addControllerSerial(hw(), settingFactory_, s);

    s.sensor.widthPx = kSensorWidthPx;
    s.sensor.heightPx = kSensorHeightPx;
    applyRange(*s.framePeriod, kFramePeriod);
    applyRange(*s.exposure, kExposure);
    applyRange(*s.x, kX);
    applyRange(*s.y, kY);
    applyRange(*s.width, kWidth);
    applyRange(*s.height, kHeight);
}

}  // namespace ZmCoreLib_v4
