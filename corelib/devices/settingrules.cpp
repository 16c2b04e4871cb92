#include "devices/settingrules.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "devices/settingids.h"
#include "devices/timewords.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;
using ZmCoreLib::kUnitPixel;

constexpr int kNeverSet = -1;

std::int64_t nanoseconds(const SettingScalar& setting) {
    return setting.GetValueIn(kUnitNanosecond);
}

int pixels(const SettingScalar& setting) {
    return static_cast<int>(setting.GetValueIn(kUnitPixel));
}

// The family B exposure is at least 1 мкс and counts from there.
constexpr int kExposureReferenceUs = 1;
constexpr int kMinExposureUs = 1;
constexpr int kGeometryMinSizePx = 1;

}  // namespace

void quantizeToTimerGrid(SettingScalar* setting, double clockMhz) {
    if (setting == nullptr || setting->GetUnit() != kUnitNanosecond) return;
    const std::int64_t valueNs = nanoseconds(*setting);
    const std::int64_t onGridNs = quantizeToTimerGrid(valueNs, clockMhz, setting->GetLastChange());
    if (onGridNs < valueNs) setting->LowerTo(onGridNs, kUnitNanosecond);
    if (onGridNs > valueNs) setting->RaiseTo(onGridNs, kUnitNanosecond);
}

void lowerToSetting(SettingScalar* setting, const SettingScalar* limit) {
    if (setting == nullptr || limit == nullptr || nanoseconds(*limit) == kNeverSet) return;
    setting->LowerTo(nanoseconds(*limit), kUnitNanosecond);
}

void raiseToSetting(SettingScalar* setting, const SettingScalar* floor) {
    if (setting == nullptr || floor == nullptr || nanoseconds(*floor) == kNeverSet) return;
    setting->RaiseTo(nanoseconds(*floor), kUnitNanosecond);
}

void applyBinning(const SettingScalar* binning, SettingScalar* offset, SettingScalar* size, int sensorPx) {
    if (binning == nullptr) return;
    const int factor = pixels(*binning);
    if (factor <= 0) return;
    const int extentPx = sensorPx / factor;
    if (offset != nullptr) offset->SetMax(extentPx - 1, kUnitPixel);
    if (size != nullptr) size->SetMax(extentPx, kUnitPixel);
    if (offset != nullptr) offset->SetValue(0);
    if (size != nullptr) size->SetValue(size->GetMax(kUnitPixel));
}

int readoutTimeMs(const CameraSettings& settings) {
    if (settings.height == nullptr || settings.binningY == nullptr) return 0;
    const ReadoutTiming& sensor = settings.sensor;
    return readoutTimeMs(sensor, linePeriodNs(sensor.pixelsPerLine, sensor.pixelClockMhz),
                         pixels(*settings.height), pixels(*settings.binningY));
}

void applyMinimumFramePeriod(CameraSettings& settings) {
    if (settings.framePeriod == nullptr) return;
    const std::int64_t readoutMs = readoutTimeMs(settings);
    const std::int64_t exposureMs =
        settings.exposure != nullptr ? settings.exposure->GetValueIn(kUnitMillisecond) : 0;
    const int inputMode = settings.inputMode != nullptr ? settings.inputMode->GetValue() : 0;
    std::int64_t minimumMs = readoutMs;
    if (inputMode == ids::kModeSingleFrameSequential) {
        minimumMs += exposureMs;
    } else if (inputMode == ids::kModeTwoFrames) {
        minimumMs += exposureMs + readoutMs;
    } else if (inputMode == ids::kModeMultiFrame) {
        const std::int64_t frames =
            settings.framesPerStart != nullptr ? settings.framesPerStart->GetValue() : 1;
        minimumMs += exposureMs * frames;
    }
    // Extreme exposures times many frames would not fit the setting's interface: the longest
    // period it can express is the minimum then.
    minimumMs = std::min<std::int64_t>(minimumMs, std::numeric_limits<int>::max());
    settings.framePeriod->SetMin(static_cast<int>(minimumMs), kUnitMillisecond);
    raiseToSetting(settings.framePeriod, settings.exposure);
    raiseToSetting(settings.multiExposurePeriod, settings.exposure);
}

void finishFamilyBSettings(SettingFactory& factory, CameraSettings& settings, bool sensorTemperature,
                           const FamilyBStart& start) {
    CameraSettings& s = settings;
    const ScalarStart binning{.units = {kUnitPixel}, .min = 1, .max = start.maxBinning, .value = 1};
    s.binningX = factory.addScalar(ids::kBinningX, binning);
    s.binningY = factory.addScalar(ids::kBinningY, binning);

    applyRange(*s.framePeriod, {readoutTimeMs(s), kUnitMillisecond, start.maxFramePeriodMs, kUnitMillisecond,
                                kUnitMillisecond, start.framePeriodMs});

    s.exposure->SetMin(kMinExposureUs, kUnitMicrosecond);
    s.exposure->SetMax(start.maxExposureMs, kUnitMillisecond);
    s.exposure->SetReference(kExposureReferenceUs, kUnitMicrosecond);
    s.exposure->SetUnit(kUnitMillisecond);
    s.exposure->SetValue(start.exposureMs);

    const int widthPx = s.sensor.widthPx;
    const int heightPx = s.sensor.heightPx;
    applyRange(*s.x, {0, kUnitPixel, widthPx - 1, kUnitPixel, kUnitPixel, 0});
    applyRange(*s.y, {0, kUnitPixel, heightPx - 1, kUnitPixel, kUnitPixel, 0});
    applyRange(*s.width, {kGeometryMinSizePx, kUnitPixel, widthPx, kUnitPixel, kUnitPixel, widthPx});
    applyRange(*s.height, {kGeometryMinSizePx, kUnitPixel, heightPx, kUnitPixel, kUnitPixel, heightPx});

    for (const EnumItem& mode : start.inputModes) s.inputMode->AddItem(mode.valueId, mode.registerCode);
    s.inputMode->SetValue(start.inputModes.begin()->valueId);

    s.cameraTemperature = factory.addString(ids::kCameraTemperature);
    if (sensorTemperature) s.sensorTemperature = factory.addString(ids::kSensorTemperature);

    SettingScalar* const analogFrontEnd[] = {s.shpDelay, s.shdDelay, s.dataDelay, s.shdSamplingDelay};
    for (std::size_t i = 0; i < start.analogFrontEnd.size(); ++i)
        analogFrontEnd[i]->SetValue(start.analogFrontEnd[i]);
}

}  // namespace ZmCoreLib_v4
