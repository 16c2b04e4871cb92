// The camera's control window (requests 0xE2): the registers both families have at the same
// places, the serial-number queries and the registers the type probe reads.
//
// A family's own registers (familya.h, familyb.h) count from the window R = 0xE20000 plus the
// window offset Q, which is 96 on fibre-optic cameras and 0 otherwise. The frame-slot registers
// count from R plus the first window offset P, which is 0 on every camera.
#pragma once

#include "hardware/registers/bitfield.h"

namespace ZmCoreLib_v4::registers {

inline constexpr unsigned kControlWindow = 0xE20000;
// Q of a fibre-optic camera.
inline constexpr unsigned kFibreOpticOffset = 96;

// From R + P: the buffer-manager register (buffermanager.h) and the transfer-length register,
// which the camera needs read before each transfer and written with the transfer's size.
inline constexpr unsigned kBufferManagerOffset = 12;
inline constexpr unsigned kTransferLengthOffset = 13;

// From R + Q, in both families.
inline constexpr unsigned kControlOffset = 0;
inline constexpr unsigned kVersionOffset = 15;
inline constexpr BitField kVersionMajor{16, 8};
inline constexpr BitField kVersionMinor{0, 16};

// The intensifier module's registers: the module address register takes the number of one of
// the module's internal registers, the register after it that register's value. Reading the
// data register after writing 0 to both shows the module's type (0: no module).
inline constexpr unsigned kModuleDataAfterAddress = 1;
inline constexpr BitField kModuleType{16, 5};

// Serial-number queries: one byte written, eight read back from the same register. Fibre-optic
// cameras answer their camera and intensifier serial numbers at the first and their controller
// serial number at the second; other cameras answer their two serial numbers at the second.
inline constexpr unsigned kSerialQueryCamera = kControlWindow + 0x51;
inline constexpr unsigned kSerialQueryController = kControlWindow + 0x50;

// A camera in its probe identity shows its type word in bits 23-8 of the transfer-length
// register of the fibre-optic window, once it runs the probe configuration.
inline constexpr unsigned kProbeTypeRegister = kControlWindow + kFibreOpticOffset + kTransferLengthOffset;
inline constexpr BitField kProbeTypeWord{8, 16};

}  // namespace ZmCoreLib_v4::registers
