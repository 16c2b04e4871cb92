// The FPGA's buffer-manager register (R + P + 12, controlwindow.h): the frame slots of the
// camera's memory, which both families read the same way.
#pragma once

#include "hardware/registers/bitfield.h"

namespace ZmCoreLib_v4::registers::buffermanager {

// Pulsed (1, then 0) before each acquisition start.
inline constexpr BitField kStartPulse{0};
// Cleared before and set after the slot selection of a transfer.
inline constexpr BitField kTransferArmed{1};
inline constexpr BitField kAcquisitionEnable{2};
// On read one ready flag per slot, bit 8 for slot 0; on write the slots acknowledged.
inline constexpr BitField kReady{8, 8};
// The slot the next transfer reads.
inline constexpr BitField kSlot{21, 2};
// Cleared before each transfer.
inline constexpr BitField kTransferStart{23};

}  // namespace ZmCoreLib_v4::registers::buffermanager
