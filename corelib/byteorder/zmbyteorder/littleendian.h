// Little-endian numbers in byte buffers: USB descriptors, the driver's request records and
// I/O-control data, the cameras' serial-number answers, image file headers.
//
// A pure byte-order utility with no other dependency, so that the camera library, the source
// filter and the camera simulator can share it without sharing anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace littleendian {

// The `size` bytes at `bytes` (at most four) as one number, least significant byte first.
constexpr std::uint32_t get(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

constexpr std::uint16_t get16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(get(bytes, 2));
}

constexpr std::uint32_t get32(const std::uint8_t* bytes) {
    return get(bytes, 4);
}

// Writes the low `size` bytes of `value` (at most four), least significant first.
constexpr void put(std::uint8_t* bytes, std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr void put16(std::uint8_t* bytes, std::uint16_t value) {
    put(bytes, value, 2);
}

constexpr void put32(std::uint8_t* bytes, std::uint32_t value) {
    put(bytes, value, 4);
}

inline void append16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.resize(bytes.size() + 2);
    put16(bytes.data() + bytes.size() - 2, value);
}

inline void append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    put32(bytes.data() + bytes.size() - 4, value);
}

}  // namespace littleendian
