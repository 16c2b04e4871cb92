#include "devices/camerasettings.h"

#include "devices/settingids.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {
using ZmCoreLib::kUnitPixel;
}  // namespace

void addInformationTexts(SettingFactory& factory, CameraSettings& settings) {
    settings.name = factory.addString(ids::kCameraName);
    settings.version = factory.addString(ids::kCameraVersion);
    settings.interfaceName = factory.addString(ids::kCameraInterface);
    settings.serial = factory.addString(ids::kCameraSerial);
    settings.intensifierSerial = factory.addString(ids::kIntensifierSerial);
    settings.transferRate = factory.addString(ids::kTransferRate);
}

void addGain(SettingFactory& factory, CameraSettings& settings) {
    settings.gain = factory.addEnum(
        ids::kGain, {{ids::kGain0dB, 0}, {ids::kGain6dB, 1}, {ids::kGain12dB, 2}, {ids::kGain18dB, 3}},
        ids::kGain0dB);
}

void addGeometry(SettingFactory& factory, CameraSettings& settings) {
    settings.x = factory.addScalar(ids::kFrameX, {.units = {kUnitPixel}});
    settings.y = factory.addScalar(ids::kFrameY, {.units = {kUnitPixel}});
    settings.width = factory.addScalar(ids::kFrameWidth, {.units = {kUnitPixel}});
    settings.height = factory.addScalar(ids::kFrameHeight, {.units = {kUnitPixel}});
}

void shapeGeometry(CameraSettings& settings, int widthPx, int heightPx) {
    constexpr int kMinSizePx = 1;
    shapeScalar(*settings.x, {.min = 0, .max = widthPx - 1, .displayUnit = kUnitPixel, .value = 0});
    shapeScalar(*settings.y, {.min = 0, .max = heightPx - 1, .displayUnit = kUnitPixel, .value = 0});
    shapeScalar(*settings.width,
                {.min = kMinSizePx, .max = widthPx, .displayUnit = kUnitPixel, .value = widthPx});
    shapeScalar(*settings.height,
                {.min = kMinSizePx, .max = heightPx, .displayUnit = kUnitPixel, .value = heightPx});
}

void addBinning(SettingFactory& factory, CameraSettings& settings, int maxFactor) {
    const ScalarShape binning{.units = {kUnitPixel}, .min = 1, .max = maxFactor, .value = 1};
    settings.binningX = factory.addScalar(ids::kBinningX, binning);
    settings.binningY = factory.addScalar(ids::kBinningY, binning);
}

}  // namespace ZmCoreLib_v4
