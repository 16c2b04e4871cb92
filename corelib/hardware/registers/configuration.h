// The FPGA's configuration and stream registers (windows 0xE0 and 0xE1).
#pragma once

namespace ZmCoreLib_v4::registers {

// A configuration file streams through these: resets first, then the file in pieces.
inline constexpr unsigned kConfigurationReset = 0xE10005;
inline constexpr unsigned kConfigurationData = 0xE10006;
// Written 0 before each frame transfer: empties the FIFO of the image stream.
inline constexpr unsigned kFifoReset = 0xE00000;

}  // namespace ZmCoreLib_v4::registers
