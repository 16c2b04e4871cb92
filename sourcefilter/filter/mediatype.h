// The media types a pin offers and accepts: uncompressed RGB video described by a bitmap header.
#pragma once

#include <cstdint>

#include "zenmiravidsource/guid.h"

namespace ZenmiraVidSource {

inline constexpr Guid MEDIATYPE_Video{
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid MEDIASUBTYPE_RGB24{
    0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid MEDIASUBTYPE_RGB32{
    0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr Guid MEDIASUBTYPE_ARGB32{
    0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}};
inline constexpr Guid FORMAT_VideoInfo{
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

inline constexpr std::uint32_t BI_RGB = 0;

struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: a bottom-up picture
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct MediaType {
    Guid majorType{};
    Guid subtype{};
    Guid formatType{};
    bool temporalCompression = false;
    std::uint32_t sampleSize = 0;
    BitmapInfoHeader header;  // meaningful when formatType is FORMAT_VideoInfo
};

// Bytes of one picture row: rows of a bitmap start on 4-byte boundaries.
constexpr std::int64_t bitmapRowBytes(std::int32_t width, int bitCount) {
    const std::int64_t bits = static_cast<std::int64_t>(width < 0 ? -width : width) * bitCount;
    return (bits + 31) / 32 * 4;
}

// Bytes of one picture of that header: padded rows times the absolute height.
constexpr std::uint32_t bitmapImageBytes(const BitmapInfoHeader& header) {
    const std::int64_t rows = header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
    return static_cast<std::uint32_t>(bitmapRowBytes(header.biWidth, header.biBitCount) * rows);
}

}  // namespace ZenmiraVidSource
