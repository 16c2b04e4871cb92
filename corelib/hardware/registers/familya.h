// Family A's registers in the control window (controlwindow.h), counted from R + Q.
#pragma once

#include "hardware/registers/bitfield.h"

namespace ZmCoreLib_v4::registers::familya {

// Setting registers.
inline constexpr unsigned kFramePeriodOffset = 1;
inline constexpr unsigned kExposureOffset = 2;
inline constexpr unsigned kPositionOffset = 4;
inline constexpr unsigned kSizeOffset = 5;
inline constexpr unsigned kBinningOffset = 6;
inline constexpr unsigned kLinePeriodOffset = 7;
inline constexpr unsigned kChronogramOffset = 8;
inline constexpr unsigned kSynchronisationOffset = 9;
inline constexpr unsigned kModuleAddressOffset = 11;

// The control register (R + Q): set while acquiring.
inline constexpr BitField kControlAcquire{0};

// The synchronisation register: the acquisition bits and the trigger settings.
inline constexpr BitField kSyncAcquire{0};
// Set at every acquisition start; the family never clears it.
inline constexpr BitField kSyncStarted{1};
inline constexpr BitField kSyncInputSource{4, 4};
inline constexpr BitField kSyncInputEvent{7};
inline constexpr BitField kSyncOutputs{8};

}  // namespace ZmCoreLib_v4::registers::familya
