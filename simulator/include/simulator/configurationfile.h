// The stand-in FPGA configuration files the build makes for the simulated cameras, and how the
// simulated FPGA recognises one.
//
// Layout (multi-byte numbers big-endian):
//   8 bytes   magic "ZMSIMBIT"
//   4 bytes   total file size
//   1 byte    length of the file name, then the file name ("zmu2120.bit")
//   text      a readable description, terminated by a zero byte
//   filler    deterministic bytes derived from the file name, up to the total size less 4
//   4 bytes   CRC-32 of every byte before it
// The FPGA takes the file as an opaque stream, like a bitstream: it learns the length from the
// header and checks the CRC when the last byte has arrived.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace simulator {

std::vector<std::uint8_t> makeConfigurationFile(std::string_view fileName, std::uint32_t size,
                                                std::string_view boards);

// The total size a stream announces once enough of its header has arrived: nullopt while the
// header is incomplete, 0 when the bytes are not a stand-in configuration.
std::optional<std::uint32_t> announcedConfigurationSize(std::span<const std::uint8_t> head);

// The file name a complete and intact stand-in configuration carries; nullopt otherwise.
std::optional<std::string> recogniseConfiguration(std::span<const std::uint8_t> bytes);

std::uint32_t crc32(std::span<const std::uint8_t> bytes);

}  // namespace simulator
