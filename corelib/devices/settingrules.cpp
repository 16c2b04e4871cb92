#include "devices/settingrules.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "devices/settingids.h"
#include "devices/timewords.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

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

bool coupleSharedSettings(CameraSettings& settings, unsigned settingId, double clockMhz) {
    CameraSettings& s = settings;
    switch (settingId) {
        case ids::kFramePeriod:
            quantizeToTimerGrid(s.framePeriod, clockMhz);
            lowerToSetting(s.exposure, s.framePeriod);
            return true;
        case ids::kBinningX:
            applyBinning(s.binningX, s.x, s.width, s.sensor.widthPx);
            return true;
        case ids::kBinningY:
            applyBinning(s.binningY, s.y, s.height, s.sensor.heightPx);
            return true;
        default:
            return false;
    }
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

}  // namespace ZmCoreLib_v4
