#include "devices/repack.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZM_REPACK_X86 1
#endif

namespace ZmCoreLib_v4 {

namespace {

constexpr std::size_t kPackedGroupPixels = 4;
constexpr std::size_t kPackedGroupBytes = 6;

// Quarter turns that decode first do it a strip of rows at a time, in one sequential pass, and
// write the strip out a block of columns at a time: tall enough that each output row receives
// whole cache lines, narrow enough that the output rows being filled stay few.
constexpr int kStripRows = 32;
constexpr int kBlockColumns = 256;
// Quarter turns that load tiles straight from the raw frame go in blocks this tall and wide, small
// enough that the input rows and output lines one block touches stay in the first-level cache.
// The size is measured: on the cameras' frame sizes 40 x 64 turned fastest of 16 to 256 rows by
// 32 to 256 columns.
constexpr std::size_t kDirectBlockRows = 40;
constexpr std::size_t kDirectBlockColumns = 64;

// A raw frame with its length; bytes past the end read as 0.
struct RawView {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t at(std::size_t i) const { return i < size ? data[i] : 0; }
};

std::uint16_t packedPixel(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                          std::uint8_t b5, std::size_t phase) {
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
std::size_t swappedPixelsFrom(RawView raw, std::size_t first) {
    return raw.size / 2 > first ? raw.size / 2 - first : 0;
}

// Pixel k of the raw frame in host order, reading nothing past the end.
std::uint16_t decodePixel(RawView raw, PixelPacking packing, std::size_t k) {
    if (packing == PixelPacking::kBigEndian16) {
        return static_cast<std::uint16_t>(raw.at(2 * k) << 8 | raw.at(2 * k + 1));
    }
    const std::size_t g = k / kPackedGroupPixels * kPackedGroupBytes;
    return packedPixel(raw.at(g), raw.at(g + 1), raw.at(g + 2), raw.at(g + 3), raw.at(g + 4), raw.at(g + 5),
                       k % kPackedGroupPixels);
}

// Where input pixel (row r, column c) of a width x height frame lands in the output.
std::size_t outputIndex(std::size_t r, std::size_t c, std::size_t width, std::size_t height,
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

// ---- Portable kernels --------------------------------------------------------------------------

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
                          int rotationDegrees, std::uint16_t* out) {
    // Along an input row the output moves one output row down (90) or up (270).
    const bool clockwise = rotationDegrees == 90;
    const std::ptrdiff_t step =
        clockwise ? static_cast<std::ptrdiff_t>(height) : -static_cast<std::ptrdiff_t>(height);
    for (int r = 0; r < rows; ++r) {
        const std::uint16_t* source = block + static_cast<std::size_t>(r) * stride;
        std::uint16_t* target =
            out + outputIndex(r0 + static_cast<std::size_t>(r), c0, width, height, rotationDegrees);
        for (int c = 0; c < columns; ++c, target += step) *target = source[c];
    }
}

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

// ---- AVX2 kernels ------------------------------------------------------------------------------

#ifdef ZM_REPACK_X86

#define ZM_AVX2 __attribute__((target("avx2")))

constexpr std::size_t kVectorPixels = 16;
// Quarter turns go in tiles of this many rows by kVectorPixels columns.
constexpr std::size_t kTileRows = 8;
// unpack12 loads two 16-byte halves, 12 bytes apart.
constexpr std::size_t kPackedLoadBytes = 28;

// Byte shuffles within each 128-bit lane.
ZM_AVX2 inline __m256i swapBytesShuffle() {
    return _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6, 9,
                            8, 11, 10, 13, 12, 15, 14);
}
// Reversing the bytes of a lane reverses its words and swaps each word's bytes at once.
ZM_AVX2 inline __m256i reverseBytesShuffle() {
    return _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9,
                            8, 7, 6, 5, 4, 3, 2, 1, 0);
}

// Sixteen packed pixels from the 24 bytes at p (28 bytes are loaded), in order or reversed.
template <bool Reverse>
ZM_AVX2 inline __m256i unpack12(const std::uint8_t* p) {
    // Each lane gets two whole groups: bytes 0-11 and bytes 12-23 (swapped when reversing, so the
    // lanes need no exchange afterwards).
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * kPackedGroupBytes));
    const __m256i in = Reverse ? _mm256_inserti128_si256(_mm256_castsi128_si256(high), low, 1)
                               : _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    // Each pixel's two source bytes as one little-endian word; the masks below keep its bits:
    // pixel = (word & keep) | ((word << 4) & keepShifted).
    constexpr short k0 = 0, kF000 = static_cast<short>(0xF000), kFF00 = static_cast<short>(0xFF00),
                    kFFF0 = static_cast<short>(0xFFF0), k00F0 = 0x00F0, k0FF0 = 0x0FF0;
    if constexpr (Reverse) {
        const __m256i words =
            _mm256_shuffle_epi8(in, _mm256_setr_epi8(11, 10, 9, 10, 7, 8, 7, 6, 5, 4, 3, 4, 1, 2, 1, 0, 11,
                                                     10, 9, 10, 7, 8, 7, 6, 5, 4, 3, 4, 1, 2, 1, 0));
        const __m256i keep = _mm256_setr_epi16(k0, kF000, kFF00, kFFF0, k0, kF000, kFF00, kFFF0, k0, kF000,
                                               kFF00, kFFF0, k0, kF000, kFF00, kFFF0);
        const __m256i keepShifted = _mm256_setr_epi16(kFFF0, k0FF0, k00F0, k0, kFFF0, k0FF0, k00F0, k0, kFFF0,
                                                      k0FF0, k00F0, k0, kFFF0, k0FF0, k00F0, k0);
        return _mm256_or_si256(_mm256_and_si256(words, keep),
                               _mm256_and_si256(_mm256_slli_epi16(words, 4), keepShifted));
    } else {
        const __m256i words =
            _mm256_shuffle_epi8(in, _mm256_setr_epi8(1, 0, 1, 2, 3, 4, 5, 4, 7, 6, 7, 8, 9, 10, 11, 10, 1, 0,
                                                     1, 2, 3, 4, 5, 4, 7, 6, 7, 8, 9, 10, 11, 10));
        const __m256i keep = _mm256_setr_epi16(kFFF0, kFF00, kF000, k0, kFFF0, kFF00, kF000, k0, kFFF0, kFF00,
                                               kF000, k0, kFFF0, kFF00, kF000, k0);
        const __m256i keepShifted = _mm256_setr_epi16(k0, k00F0, k0FF0, kFFF0, k0, k00F0, k0FF0, kFFF0, k0,
                                                      k00F0, k0FF0, kFFF0, k0, k00F0, k0FF0, kFFF0);
        return _mm256_or_si256(_mm256_and_si256(words, keep),
                               _mm256_and_si256(_mm256_slli_epi16(words, 4), keepShifted));
    }
}

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

template <bool Reverse>
ZM_AVX2 inline void storePixels(std::uint16_t* dst, std::size_t i, __m256i v) {
    if constexpr (Reverse) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst - i - kVectorPixels), v);
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
    }
}

template <bool Reverse>
ZM_AVX2 void decodeRunAvx2(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                           std::uint16_t* dst) {
    std::size_t i = 0;
    if (packing == PixelPacking::kBigEndian16) {
        const VectorSpan span = swappedVectors(raw, first, count, kVectorPixels);
        const __m256i shuffle = Reverse ? reverseBytesShuffle() : swapBytesShuffle();
#pragma GCC unroll 4
        for (std::size_t v = 0; v < span.vectors; ++v, i += kVectorPixels) {
            __m256i x = _mm256_shuffle_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(span.src + 2 * i)), shuffle);
            if constexpr (Reverse) x = _mm256_permute4x64_epi64(x, 0x4E);
            storePixels<Reverse>(dst, i, x);
        }
    } else {
        i = packedHead(first, count);
        decodeRunPortable<Reverse>(raw, packing, first, i, dst);
        constexpr std::size_t kVectorBytes = kVectorPixels / kPackedGroupPixels * kPackedGroupBytes;
        const VectorSpan span = packedVectors(raw, first + i, count - i, kVectorPixels, kPackedLoadBytes);
#pragma GCC unroll 4
        for (std::size_t v = 0; v < span.vectors; ++v, i += kVectorPixels) {
            storePixels<Reverse>(dst, i, unpack12<Reverse>(span.src + v * kVectorBytes));
        }
    }
    decodeRunPortable<Reverse>(raw, packing, first + i, count - i, Reverse ? dst - i : dst + i);
}

// Transposes eight rows of sixteen 16-bit pixels: on return rows[j] holds column j in its low lane
// and column 8 + j in its high lane, each listing the eight rows in order.
ZM_AVX2 inline void transpose8x16(__m256i rows[8]) {
    __m256i t[8];
    __m256i u[8];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm256_unpacklo_epi16(rows[2 * i], rows[2 * i + 1]);
        t[2 * i + 1] = _mm256_unpackhi_epi16(rows[2 * i], rows[2 * i + 1]);
    }
#pragma GCC unroll 2
    for (int i = 0; i < 2; ++i) {
        u[4 * i + 0] = _mm256_unpacklo_epi32(t[4 * i + 0], t[4 * i + 2]);
        u[4 * i + 1] = _mm256_unpackhi_epi32(t[4 * i + 0], t[4 * i + 2]);
        u[4 * i + 2] = _mm256_unpacklo_epi32(t[4 * i + 1], t[4 * i + 3]);
        u[4 * i + 3] = _mm256_unpackhi_epi32(t[4 * i + 1], t[4 * i + 3]);
    }
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        rows[2 * i] = _mm256_unpacklo_epi64(u[i], u[4 + i]);
        rows[2 * i + 1] = _mm256_unpackhi_epi64(u[i], u[4 + i]);
    }
}

// Quarter-turns 8 x 16 pixel tiles with vector transposes (clockwise: 90 degrees, otherwise 270);
// the edges that do not fill a tile go through the portable scatter.
template <bool Clockwise>
ZM_AVX2 void scatterTilesAvx2(const std::uint16_t* block, std::size_t stride, int rows, int columns,
                              std::size_t r0, std::size_t c0, std::size_t width, std::size_t height,
                              std::uint16_t* out) {
    constexpr int kRows = static_cast<int>(kTileRows);
    constexpr int kColumns = static_cast<int>(kVectorPixels);
    const int tileRows = rows / kRows * kRows;
    const int tileColumns = columns / kColumns * kColumns;
    // Output row of input column c0 + c, and the step to the next input column's row.
    const std::ptrdiff_t rowStep =
        Clockwise ? static_cast<std::ptrdiff_t>(height) : -static_cast<std::ptrdiff_t>(height);
    for (int c = 0; c < tileColumns; c += kColumns) {
        const std::size_t column = c0 + c;
        std::uint16_t* const firstRow = out + (Clockwise ? column : width - 1 - column) * height;
        for (int r = 0; r < tileRows; r += kRows) {
            __m256i v[kRows];
            // Clockwise, the bottom row comes first in each output row: load the rows upside down.
#pragma GCC unroll 8
            for (int i = 0; i < kRows; ++i) {
                const int row = r + (Clockwise ? kRows - 1 - i : i);
                v[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + row * stride + c));
            }
            transpose8x16(v);
            const std::size_t inputRow = r0 + r;
            std::uint16_t* target = firstRow + (Clockwise ? height - kRows - inputRow : inputRow);
#pragma GCC unroll 8
            for (int j = 0; j < kRows; ++j) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(target + j * rowStep),
                                 _mm256_castsi256_si128(v[j]));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(target + (j + kRows) * rowStep),
                                 _mm256_extracti128_si256(v[j], 1));
            }
        }
    }
    const int rotationDegrees = Clockwise ? 90 : 270;
    // Right edge (all rows), then bottom edge (tiled columns only).
    scatterBlockPortable(block + tileColumns, stride, rows, columns - tileColumns, r0, c0 + tileColumns,
                         width, height, rotationDegrees, out);
    scatterBlockPortable(block + tileRows * stride, stride, rows - tileRows, tileColumns, r0 + tileRows, c0,
                         width, height, rotationDegrees, out);
}

ZM_AVX2 void scatterBlockAvx2(const std::uint16_t* block, std::size_t stride, int rows, int columns,
                              std::size_t r0, std::size_t c0, std::size_t width, std::size_t height,
                              int rotationDegrees, std::uint16_t* out) {
    if (rotationDegrees == 90) {
        scatterTilesAvx2<true>(block, stride, rows, columns, r0, c0, width, height, out);
    } else {
        scatterTilesAvx2<false>(block, stride, rows, columns, r0, c0, width, height, out);
    }
}

// Sixteen pixels of the raw frame starting at `bytes`, in host order. Packed pixels must start a
// group there.
template <bool Packed>
ZM_AVX2 inline __m256i loadRawPixels(const std::uint8_t* bytes) {
    if constexpr (Packed) {
        return unpack12<false>(bytes);
    } else {
        return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)),
                                   swapBytesShuffle());
    }
}

// Quarter-turns rows [0, rows) and columns [firstColumn, endColumn) (whole tiles) loading the
// pixels straight from the raw frame, without a decoding pass, one block of kDirectBlockRows x
// kDirectBlockColumns at a time. When `rows` (at least one tile) is not a whole number of tiles,
// the last tile overlaps the one above it: those rows are written twice with the same pixels.
// Packed frames must hold a whole number of groups per row.
template <bool Clockwise, bool Packed>
ZM_AVX2 void turnTilesFromRaw(const QuarterTurn& turn, std::size_t rows, std::size_t firstColumn,
                              std::size_t endColumn) {
    // Raw bytes of the sixteen pixels a tile row loads.
    constexpr std::size_t kTileRowBytes =
        Packed ? kVectorPixels / kPackedGroupPixels * kPackedGroupBytes : 2 * kVectorPixels;
    const std::size_t width = turn.width;
    const std::size_t height = turn.height;
    const std::size_t rowBytes = Packed ? width / kPackedGroupPixels * kPackedGroupBytes : 2 * width;
    const std::ptrdiff_t rowStep =
        Clockwise ? static_cast<std::ptrdiff_t>(height) : -static_cast<std::ptrdiff_t>(height);
    // Clockwise, the bottom row comes first in each output row: the tile's rows go upside down.
    const std::ptrdiff_t sourceStep =
        Clockwise ? -static_cast<std::ptrdiff_t>(rowBytes) : static_cast<std::ptrdiff_t>(rowBytes);
    // The same rows one block to the right, asked for while this block is turned (a prefetch
    // never faults, also past the end of the frame).
    constexpr std::size_t kPrefetchBytes = kDirectBlockColumns / kVectorPixels * kTileRowBytes;
    // Clockwise, the input rows go bottom up, so that both turns fill each output row front to
    // back: stores that walk backwards through memory are markedly slower.
    const std::size_t blocks = (rows + kDirectBlockRows - 1) / kDirectBlockRows;
    const std::size_t lastTileRow = rows - kTileRows;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t r0 = (Clockwise ? blocks - 1 - b : b) * kDirectBlockRows;
        const std::size_t tiles = (std::min(rows, r0 + kDirectBlockRows) - r0 + kTileRows - 1) / kTileRows;
        for (std::size_t c0 = firstColumn; c0 < endColumn; c0 += kDirectBlockColumns) {
            const std::size_t c1 = std::min(endColumn, c0 + kDirectBlockColumns);
            for (std::size_t c = c0; c < c1; c += kVectorPixels) {
                const std::uint8_t* const column =
                    turn.raw.data + (Packed ? c / kPackedGroupPixels * kPackedGroupBytes : 2 * c);
                std::uint16_t* const outputRow = turn.out + (Clockwise ? c : width - 1 - c) * height;
                for (std::size_t t = 0; t < tiles; ++t) {
                    const std::size_t r =
                        std::min(lastTileRow, r0 + (Clockwise ? tiles - 1 - t : t) * kTileRows);
                    const std::uint8_t* const tile = column + r * rowBytes;
                    __m256i v[kTileRows];
                    const std::uint8_t* source = Clockwise ? tile + (kTileRows - 1) * rowBytes : tile;
#pragma GCC unroll 8
                    for (std::size_t i = 0; i < kTileRows; ++i) {
                        v[i] = loadRawPixels<Packed>(source);
                        _mm_prefetch(reinterpret_cast<const char*>(source + kPrefetchBytes), _MM_HINT_T0);
                        source += sourceStep;
                    }
                    transpose8x16(v);
                    // Output rows of columns c .. c + 7 and c + 8 .. c + 15, one step at a time so
                    // the addresses need no registers of their own.
                    std::uint16_t* low = outputRow + (Clockwise ? height - kTileRows - r : r);
                    std::uint16_t* high = low + static_cast<std::ptrdiff_t>(kTileRows) * rowStep;
#pragma GCC unroll 8
                    for (std::size_t j = 0; j < kTileRows; ++j) {
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(low), _mm256_castsi256_si128(v[j]));
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(high), _mm256_extracti128_si256(v[j], 1));
                        low += rowStep;
                        high += rowStep;
                    }
                }
            }
        }
    }
}

template <bool Clockwise, bool Packed>
ZM_AVX2 void turnAllColumnsFromRaw(const QuarterTurn& turn, std::size_t rows) {
    const std::size_t w = turn.width;
    const std::size_t tileColumns = w / kVectorPixels * kVectorPixels;
    turnTilesFromRaw<Clockwise, Packed>(turn, rows, 0, tileColumns);
    // The columns right of the last whole tile go as one more tile that overlaps the one before
    // it: those columns are written twice with the same pixels.
    if (tileColumns < w) turnTilesFromRaw<Clockwise, Packed>(turn, rows, w - kVectorPixels, w);
}

// Tiles come straight from the raw frame when every row starts on a packing group, down to the
// last row whose loads stay inside the raw bytes (on whole frames of the cameras' sizes, every row);
// the rows below are decoded first.
ZM_AVX2 void turnFrameAvx2(const QuarterTurn& turn, std::vector<std::uint16_t>& strip) {
    const bool packed = turn.packing == PixelPacking::kPacked12;
    const std::size_t w = turn.width;
    const std::size_t h = turn.height;
    // One past the last raw byte the tiles of input row `row` load.
    const auto loadEnd = [&](std::size_t row) {
        const std::size_t lastTile = row * w + w - kVectorPixels;
        return packed ? lastTile / kPackedGroupPixels * kPackedGroupBytes + kPackedLoadBytes
                      : 2 * (row * w + w);
    };
    std::size_t directRows = 0;
    if (w >= kVectorPixels && (!packed || w % kPackedGroupPixels == 0)) {
        directRows = h;
        while (directRows > 0 && loadEnd(directRows - 1) > turn.raw.size) --directRows;
    }
    if (directRows < kTileRows) directRows = 0;
    if (directRows > 0) {
        const bool clockwise = turn.rotationDegrees == 90;
        if (clockwise && packed) turnAllColumnsFromRaw<true, true>(turn, directRows);
        if (clockwise && !packed) turnAllColumnsFromRaw<true, false>(turn, directRows);
        if (!clockwise && packed) turnAllColumnsFromRaw<false, true>(turn, directRows);
        if (!clockwise && !packed) turnAllColumnsFromRaw<false, false>(turn, directRows);
    }
    turnRowsDecoded<decodeRunAvx2<false>, scatterBlockAvx2>(turn, directRows, h, strip);
}

// ---- AVX-512 kernels ---------------------------------------------------------------------------

#define ZM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

constexpr std::size_t kWidePixels = 32;
// unpack12x32 loads 64 bytes for the 48 it uses.
constexpr std::size_t kWidePackedLoadBytes = 64;

// Any byte of `x` to any position, as `indices` say. Written as the zero-masking form with every
// byte kept: the plain form trips GCC 12's maybe-uninitialized warning inside its own header.
ZM_AVX512 inline __m512i permuteBytes(__m512i indices, __m512i x) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, indices, x);
}

// Byte indices that spread 32 packed pixels (48 bytes) into one little-endian word per pixel, in
// reverse order when Reverse; pixel j of a six-byte group takes its word's (low, high) bytes from
// group bytes kGroupWordBytes[j].
template <bool Reverse>
constexpr std::array<std::uint8_t, 64> packedWordIndices() {
    constexpr std::uint8_t kGroupWordBytes[kPackedGroupPixels][2] = {{1, 0}, {1, 2}, {3, 4}, {5, 4}};
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t m = 0; m < kWidePixels; ++m) {
        const std::size_t k = Reverse ? kWidePixels - 1 - m : m;
        const std::size_t group = k / kPackedGroupPixels * kPackedGroupBytes;
        indices[2 * m] = static_cast<std::uint8_t>(group + kGroupWordBytes[k % kPackedGroupPixels][0]);
        indices[2 * m + 1] = static_cast<std::uint8_t>(group + kGroupWordBytes[k % kPackedGroupPixels][1]);
    }
    return indices;
}

// The bits each pixel keeps of its word; the others come from the word shifted left by four.
template <bool Reverse>
constexpr std::array<std::uint16_t, kWidePixels> packedKeepMasks() {
    constexpr std::uint16_t kKeep[kPackedGroupPixels] = {0xFFF0, 0xFF00, 0xF000, 0x0000};
    std::array<std::uint16_t, kWidePixels> masks{};
    for (std::size_t m = 0; m < kWidePixels; ++m)
        masks[m] = kKeep[(Reverse ? kWidePixels - 1 - m : m) % kPackedGroupPixels];
    return masks;
}

// Thirty-two packed pixels from the 48 bytes at p (64 bytes are loaded), in order or reversed:
// one byte permutation, one shift and one bitwise select.
template <bool Reverse>
ZM_AVX512 inline __m512i unpack12x32(const std::uint8_t* p) {
    static constexpr std::array<std::uint8_t, 64> kIndices = packedWordIndices<Reverse>();
    static constexpr std::array<std::uint16_t, kWidePixels> kKeep = packedKeepMasks<Reverse>();
    const __m512i words = permuteBytes(_mm512_loadu_si512(kIndices.data()), _mm512_loadu_si512(p));
    constexpr int kSelect = 0xCA;  // first operand ? second : third, bit by bit
    return _mm512_ternarylogic_epi32(_mm512_loadu_si512(kKeep.data()), words, _mm512_slli_epi16(words, 4),
                                     kSelect);
}

// Swaps the bytes of every word (indices within each 16-byte lane).
constexpr std::array<std::uint8_t, 64> kSwapWordBytes = [] {
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>((i ^ 1) % 16);
    return indices;
}();
// Reversing all 64 bytes reverses the 32 words and swaps each word's bytes at once.
constexpr std::array<std::uint8_t, 64> kReverseAllBytes = [] {
    std::array<std::uint8_t, 64> indices{};
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint8_t>(63 - i);
    return indices;
}();

template <bool Reverse>
ZM_AVX512 inline void storeWidePixels(std::uint16_t* dst, std::size_t i, __m512i v) {
    _mm512_storeu_si512(Reverse ? dst - i - kWidePixels : dst + i, v);
}

// Decodes as much of the run as whole 32-pixel vectors allow, then leaves the rest to the AVX2
// kernel.
template <bool Reverse>
ZM_AVX512 void decodeRunAvx512(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                               std::uint16_t* dst) {
    std::size_t i = 0;
    if (packing == PixelPacking::kBigEndian16) {
        const VectorSpan span = swappedVectors(raw, first, count, kWidePixels);
        const __m512i swap = _mm512_loadu_si512(kSwapWordBytes.data());
        const __m512i reverse = _mm512_loadu_si512(kReverseAllBytes.data());
#pragma GCC unroll 4
        for (std::size_t v = 0; v < span.vectors; ++v, i += kWidePixels) {
            const __m512i x = _mm512_loadu_si512(span.src + 2 * i);
            storeWidePixels<Reverse>(dst, i,
                                     Reverse ? permuteBytes(reverse, x) : _mm512_shuffle_epi8(x, swap));
        }
    } else {
        i = packedHead(first, count);
        decodeRunPortable<Reverse>(raw, packing, first, i, dst);
        constexpr std::size_t kVectorBytes = kWidePixels / kPackedGroupPixels * kPackedGroupBytes;
        const VectorSpan span = packedVectors(raw, first + i, count - i, kWidePixels, kWidePackedLoadBytes);
#pragma GCC unroll 4
        for (std::size_t v = 0; v < span.vectors; ++v, i += kWidePixels) {
            storeWidePixels<Reverse>(dst, i, unpack12x32<Reverse>(span.src + v * kVectorBytes));
        }
    }
    decodeRunAvx2<Reverse>(raw, packing, first + i, count - i, Reverse ? dst - i : dst + i);
}

#endif  // ZM_REPACK_X86

// ---- Dispatch ----------------------------------------------------------------------------------

struct Kernels {
    void (*decodeForward)(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);
    void (*decodeReverse)(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);
    void (*turnFrame)(const QuarterTurn&, std::vector<std::uint16_t>&);
};

constexpr Kernels kPortableKernels{decodeRunPortable<false>, decodeRunPortable<true>,
                                   turnFrameDecoded<decodeRunPortable<false>, scatterBlockPortable>};
#ifdef ZM_REPACK_X86
constexpr Kernels kAvx2Kernels{decodeRunAvx2<false>, decodeRunAvx2<true>, turnFrameAvx2};
constexpr Kernels kAvx512Kernels{decodeRunAvx512<false>, decodeRunAvx512<true>, turnFrameAvx2};
#endif

const Kernels& kernelsFor(RepackIsa isa) {
#ifdef ZM_REPACK_X86
    if (isa == RepackIsa::kAvx2) return kAvx2Kernels;
    if (isa == RepackIsa::kAvx512) return kAvx512Kernels;
#endif
    (void)isa;
    return kPortableKernels;
}

RepackIsa bestIsa() {
    static const RepackIsa best = [] {
        for (RepackIsa isa : {RepackIsa::kAvx512, RepackIsa::kAvx2})
            if (repackIsaAvailable(isa)) return isa;
        return RepackIsa::kPortable;
    }();
    return best;
}

}  // namespace

bool repackIsaAvailable(RepackIsa isa) {
    if (isa == RepackIsa::kPortable) return true;
#ifdef ZM_REPACK_X86
    __builtin_cpu_init();
    if (isa == RepackIsa::kAvx2) return __builtin_cpu_supports("avx2");
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
#else
    return false;
#endif
}

std::size_t rawFrameBytes(PixelPacking packing, std::size_t pixels) {
    if (packing == PixelPacking::kBigEndian16) return pixels * 2;
    return (pixels * kPackedGroupBytes / kPackedGroupPixels + 4) / 4 * 4;
}

void repackFrameReference(const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing, int width,
                          int height, int rotationDegrees, std::uint16_t* out) {
    const RawView view{raw, rawBytes};
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    for (std::size_t r = 0; r < h; ++r) {
        for (std::size_t c = 0; c < w; ++c) {
            out[outputIndex(r, c, w, h, rotationDegrees)] = decodePixel(view, packing, r * w + c);
        }
    }
}

void repackFrame(const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing, int width, int height,
                 int rotationDegrees, std::uint16_t* out) {
    repackFrameWith(bestIsa(), raw, rawBytes, packing, width, height, rotationDegrees, out);
}

void repackFrameWith(RepackIsa isa, const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing,
                     int width, int height, int rotationDegrees, std::uint16_t* out) {
    assert(rotationDegrees == 0 || rotationDegrees == 90 || rotationDegrees == 180 || rotationDegrees == 270);
    assert(repackIsaAvailable(isa));
    if (width <= 0 || height <= 0) return;
    const Kernels& k = kernelsFor(isa);
    const RawView view{raw, rawBytes};
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    const std::size_t pixels = w * h;
    if (rotationDegrees == 0) {
        k.decodeForward(view, packing, 0, pixels, out);
        return;
    }
    if (rotationDegrees == 180) {
        k.decodeReverse(view, packing, 0, pixels, out + pixels);
        return;
    }
    const QuarterTurn turn{view, packing, w, h, rotationDegrees, out};
    thread_local std::vector<std::uint16_t> strip;
    k.turnFrame(turn, strip);
}

}  // namespace ZmCoreLib_v4
