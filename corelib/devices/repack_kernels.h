// The pieces the frame conversion's instruction-set paths share: the view of a raw frame, the
// pixel-by-pixel decoding every path falls back on for the pixels its vectors do not cover, the
// quarter turn by strips of decoded rows, and the table of kernels each path fills. Internal to
// repack.cpp (dispatch, portable and reference code), repack_avx2.cpp and repack_avx512.cpp.
//
// The vector kernels carry their instruction set as a function attribute rather than a compiler
// flag of their unit, so that the inline functions here are never compiled with instructions the
// processor may lack.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/repack.h"

#if defined(__x86_64__) || defined(__i386__)
#define ZM_REPACK_X86 1
#define ZM_AVX2 __attribute__((target("avx2")))
#define ZM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#endif

namespace ZmCoreLib_v4::repack {

constexpr std::size_t kPackedGroupPixels = 4;
constexpr std::size_t kPackedGroupBytes = 6;

// Quarter turns that decode first do it a strip of rows at a time, in one sequential pass, and
// write the strip out a block of columns at a time: tall enough that each output row receives
// whole cache lines, narrow enough that the output rows being filled stay few.
constexpr int kStripRows = 32;
constexpr int kBlockColumns = 256;

// A raw frame with its length; bytes past the end read as 0.
struct RawView {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t at(std::size_t i) const { return i < size ? data[i] : 0; }
};

inline std::uint16_t packedPixel(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                                 std::uint8_t b4, std::uint8_t b5, std::size_t phase) {
    switch (phase) {
        case 0:
            return static_cast<std::uint16_t>(b0 << 8 | (b1 & 0xF0));
        case 1:
            return static_cast<std::uint16_t>(b2 << 8 | (b1 & 0x0F) << 4);
        case 2:
            return static_cast<std::uint16_t>((b4 & 0xF0) << 8 | b3 << 4);
        default:
            return static_cast<std::uint16_t>((b4 & 0x0F) << 12 | b5 << 4);
    }
}

// How many whole 16-bit samples the raw frame holds from pixel `first` on.
inline std::size_t swappedPixelsFrom(RawView raw, std::size_t first) {
    return raw.size / 2 > first ? raw.size / 2 - first : 0;
}

// Pixel k of the raw frame in host order, reading nothing past the end.
inline std::uint16_t decodePixel(RawView raw, PixelPacking packing, std::size_t k) {
    if (packing == PixelPacking::kBigEndian16) {
        return static_cast<std::uint16_t>(raw.at(2 * k) << 8 | raw.at(2 * k + 1));
    }
    const std::size_t g = k / kPackedGroupPixels * kPackedGroupBytes;
    return packedPixel(raw.at(g), raw.at(g + 1), raw.at(g + 2), raw.at(g + 3), raw.at(g + 4), raw.at(g + 5),
                       k % kPackedGroupPixels);
}

// Where input pixel (row r, column c) of a width x height frame lands in the output.
inline std::size_t outputIndex(std::size_t r, std::size_t c, std::size_t width, std::size_t height,
                               int rotationDegrees) {
    switch (rotationDegrees) {
        case 90:
            return c * height + (height - 1 - r);
        case 180:
            return (height - 1 - r) * width + (width - 1 - c);
        case 270:
            return (width - 1 - c) * height + r;
        default:
            return r * width + c;
    }
}

// ---- Portable building blocks ------------------------------------------------------------------

// Decodes pixels [first, first + count) into dst[0..count) or, when Reverse, into
// dst[-1], dst[-2], ... (dst is then one past the last output pixel).
template <bool Reverse>
void decodeRunPortable(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                       std::uint16_t* dst) {
    std::size_t i = 0;
    auto put = [&](std::uint16_t v) {
        if constexpr (Reverse) {
            dst[-1 - static_cast<std::ptrdiff_t>(i)] = v;
        } else {
            dst[i] = v;
        }
        ++i;
    };
    if (packing == PixelPacking::kBigEndian16) {
        const std::size_t whole = std::min(count, swappedPixelsFrom(raw, first));
        const std::uint8_t* p = raw.data + 2 * first;
        while (i < whole) put(static_cast<std::uint16_t>(p[2 * i] << 8 | p[2 * i + 1]));
    } else {
        while (i < count && (first + i) % kPackedGroupPixels != 0) put(decodePixel(raw, packing, first + i));
        std::size_t g = (first + i) / kPackedGroupPixels * kPackedGroupBytes;
        while (i + kPackedGroupPixels <= count && g + kPackedGroupBytes <= raw.size) {
            const std::uint8_t* b = raw.data + g;
            for (std::size_t phase = 0; phase < kPackedGroupPixels; ++phase) {
                put(packedPixel(b[0], b[1], b[2], b[3], b[4], b[5], phase));
            }
            g += kPackedGroupBytes;
        }
    }
    while (i < count) put(decodePixel(raw, packing, first + i));
}

// Writes a block of decoded rows (rows x columns, `stride` pixels apart) whose top-left pixel
// is input (r0, c0) into the quarter-turned output (90 or 270 degrees).
void scatterBlockPortable(const std::uint16_t* block, std::size_t stride, int rows, int columns,
                          std::size_t r0, std::size_t c0, std::size_t width, std::size_t height,
                          int rotationDegrees, std::uint16_t* out);

// A quarter turn in progress: the raw frame, its geometry and where the output goes.
struct QuarterTurn {
    RawView raw;
    PixelPacking packing;
    std::size_t width;
    std::size_t height;
    int rotationDegrees;
    std::uint16_t* out;
};

// Turns input rows [r0, r0 + rows) by decoding them in one sequential pass into `strip`, then
// writing the decoded rows out a block of columns at a time, so that the output rows being
// filled stay few.
template <auto Decode, auto Scatter>
void turnStripDecoded(const QuarterTurn& turn, std::size_t r0, int rows, std::vector<std::uint16_t>& strip) {
    const std::size_t w = turn.width;
    strip.resize(kStripRows * w);
    Decode(turn.raw, turn.packing, r0 * w, rows * w, strip.data());
    for (std::size_t c0 = 0; c0 < w; c0 += kBlockColumns) {
        const int columns = static_cast<int>(std::min<std::size_t>(kBlockColumns, w - c0));
        Scatter(strip.data() + c0, w, rows, columns, r0, c0, w, turn.height, turn.rotationDegrees, turn.out);
    }
}

// Turns input rows [rBegin, rEnd) strip by strip.
template <auto Decode, auto Scatter>
void turnRowsDecoded(const QuarterTurn& turn, std::size_t rBegin, std::size_t rEnd,
                     std::vector<std::uint16_t>& strip) {
    for (std::size_t r0 = rBegin; r0 < rEnd; r0 += kStripRows) {
        turnStripDecoded<Decode, Scatter>(
            turn, r0, static_cast<int>(std::min<std::size_t>(kStripRows, rEnd - r0)), strip);
    }
}

template <auto Decode, auto Scatter>
void turnFrameDecoded(const QuarterTurn& turn, std::vector<std::uint16_t>& strip) {
    turnRowsDecoded<Decode, Scatter>(turn, 0, turn.height, strip);
}

// ---- Vector loop bounds ------------------------------------------------------------------------

// Where a vector loop over a run of the raw frame reads, and how many whole vectors of
// `vectorPixels` pixels it may decode there without reading past the raw frame.
struct VectorSpan {
    const std::uint8_t* src;
    std::size_t vectors;
};

// 16-bit samples from pixel `first` on.
inline VectorSpan swappedVectors(RawView raw, std::size_t first, std::size_t count,
                                 std::size_t vectorPixels) {
    return {raw.data + 2 * first, std::min(count, swappedPixelsFrom(raw, first)) / vectorPixels};
}

// Packed pixels from `first` on, which starts a group; each vector loads `loadBytes` bytes.
inline VectorSpan packedVectors(RawView raw, std::size_t first, std::size_t count, std::size_t vectorPixels,
                                std::size_t loadBytes) {
    const std::size_t vectorBytes = vectorPixels / kPackedGroupPixels * kPackedGroupBytes;
    const std::size_t g = first / kPackedGroupPixels * kPackedGroupBytes;
    const std::size_t loadable = raw.size >= g + loadBytes ? (raw.size - g - loadBytes) / vectorBytes + 1 : 0;
    return {raw.data + g, std::min(count / vectorPixels, loadable)};
}

// The single pixels a packed run that starts inside a group begins with, up to the next group.
inline std::size_t packedHead(std::size_t first, std::size_t count) {
    return std::min(count, (kPackedGroupPixels - first % kPackedGroupPixels) % kPackedGroupPixels);
}

// The vector a run's loop takes at its step n of `vectors`. A reversing run stores vector v below
// vector v - 1, so it takes them last to first: its stores then ascend through the output as the
// forward run's do, and its loads descend instead, which the processor follows as fast.
template <bool Reverse>
constexpr std::size_t vectorInOrder(std::size_t n, std::size_t vectors) {
    return Reverse ? vectors - 1 - n : n;
}

// ---- The kernels of one instruction set ----------------------------------------------------------

struct Kernels {
    void (*decodeForward)(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);
    void (*decodeReverse)(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);
    void (*turnFrame)(const QuarterTurn&, std::vector<std::uint16_t>&);
};

#ifdef ZM_REPACK_X86
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;

// The AVX2 kernels the AVX-512 path hands the tails of its runs and its quarter turns to.
template <bool Reverse>
ZM_AVX2 void decodeRunAvx2(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                           std::uint16_t* dst);
ZM_AVX2 void turnFrameAvx2(const QuarterTurn& turn, std::vector<std::uint16_t>& strip);
#endif

}  // namespace ZmCoreLib_v4::repack
