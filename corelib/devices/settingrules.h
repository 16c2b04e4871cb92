// The rules that tie a camera's settings together, shared by both families' coupling of a changed
// setting. All of them change settings through their normal operations (clamping, the camera's
// Check, notification), on the caller's thread.
#pragma once

#include "devices/camerasettings.h"

namespace ZmCoreLib_v4 {

// A time setting shown in нс is placed on the grid of a timer running at `clockMhz`, after the
// direction of its last change; shown in another unit it is left alone.
void quantizeToTimerGrid(SettingScalar* setting, double clockMhz);

// Lowers `setting` to `limit`'s value (rounding down to its display unit) where it is longer.
void lowerToSetting(SettingScalar* setting, const SettingScalar* limit);
// Raises `setting` to `floor`'s value (rounding up to its display unit, at most to its maximum)
// where it is shorter.
void raiseToSetting(SettingScalar* setting, const SettingScalar* floor);

// A new binning factor re-sizes the frame along its axis: the offset goes back to 0 with the
// sensor's binned extent as its range, and the size takes the whole binned extent.
void applyBinning(const SettingScalar* binning, SettingScalar* offset, SettingScalar* size, int sensorPx);

// The couplings both families make, with their timer running at `clockMhz`: a new frame period
// is placed on the timer grid and bounds the exposure; a new binning re-sizes the frame along its
// axis over the sensor. False for an id they do not couple.
bool coupleSharedSettings(CameraSettings& settings, unsigned settingId, double clockMhz);

// Family B: the time to read a frame out of the sensor at the present height and vertical
// binning, in whole milliseconds; 0 while either setting is missing.
int readoutTimeMs(const CameraSettings& settings);
// Family B: the frame period must cover the sensor readout and, by input mode, the exposures of
// one start; neither the frame period nor the multi-exposure period may be shorter than the
// exposure.
void applyMinimumFramePeriod(CameraSettings& settings);

}  // namespace ZmCoreLib_v4
