// Family B's registers in the control window (controlwindow.h), counted from R + Q.
#pragma once

#include "hardware/registers/bitfield.h"

namespace ZmCoreLib_v4::registers::familyb {

// Setting registers.
inline constexpr unsigned kFramePeriodOffset = 1;
inline constexpr unsigned kMultiExposurePeriodOffset = 2;
inline constexpr unsigned kExposureOffset = 3;
inline constexpr unsigned kIlluminationPulseOffset = 4;
inline constexpr unsigned kPositionOffset = 5;
inline constexpr unsigned kSizeOffset = 6;
inline constexpr unsigned kFramesPerStartOffset = 8;
inline constexpr unsigned kExposureStartDelayOffset = 9;
// The module registers sit one higher on fibre-optic cameras.
inline constexpr unsigned kModuleAddressOffset = 10;
inline constexpr unsigned kModuleAddressOffsetFibreOptic = 11;
// Read: the temperatures, at the control register's address.
inline constexpr unsigned kTemperatureOffset = 0;
// Read: the readout channel of a fibre-optic camera with a Kodak sensor.
inline constexpr unsigned kChannelOffset = 13;
inline constexpr BitField kChannel{0, 8};

// The control register (R + Q): the acquisition bits, the software start pulse and setting
// fields, which the camera step writes when it switches the acquisition on again.
inline constexpr BitField kControlAcquire{0};
inline constexpr BitField kControlReadout{1};
inline constexpr BitField kInputMode{2, 2};
inline constexpr BitField kBinningX{4, 3};
inline constexpr BitField kBinningY{7, 3};
inline constexpr BitField kInputSource{10, 2};
inline constexpr BitField kInputEvent{12};
inline constexpr BitField kSoftwareStart{13};
inline constexpr BitField kExposureSource{14, 2};
inline constexpr BitField kExposureEvent{16};
inline constexpr BitField kNoExposureDelay{17};
inline constexpr BitField kShpDelay{18, 3};
inline constexpr BitField kShdDelay{21, 3};

// The temperature register, as read: shown without conversion.
inline constexpr BitField kSensorTemperature{0, 9};
inline constexpr BitField kCameraTemperature{12, 9};

}  // namespace ZmCoreLib_v4::registers::familyb
