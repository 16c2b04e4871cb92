// The AVX2 path of the frame conversion: byte swaps and 12-bit unpacking sixteen pixels at a time,
// and quarter turns by 8 x 16 tiles transposed in registers.
#include "devices/repack_kernels.h"

#ifdef ZM_REPACK_X86

#include <immintrin.h>

namespace ZmCoreLib_v4::repack {

namespace {

// Quarter turns that load tiles straight from the raw frame go in blocks this tall and wide, small
// enough that the input rows and output lines one block touches stay in the first-level cache.
// The size is measured: on the cameras' frame sizes 40 x 64 turned fastest of 16 to 256 rows by
// 32 to 256 columns.
constexpr std::size_t kDirectBlockRows = 40;
constexpr std::size_t kDirectBlockColumns = 64;

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

template <bool Reverse>
ZM_AVX2 inline void storePixels(std::uint16_t* dst, std::size_t i, __m256i v) {
    if constexpr (Reverse) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst - i - kVectorPixels), v);
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
    }
}

}  // namespace

template <bool Reverse>
ZM_AVX2 void decodeRunAvx2(RawView raw, PixelPacking packing, std::size_t first, std::size_t count,
                           std::uint16_t* dst) {
    std::size_t i = 0;
    if (packing == PixelPacking::kBigEndian16) {
        const VectorSpan span = swappedVectors(raw, first, count, kVectorPixels);
        const __m256i shuffle = Reverse ? reverseBytesShuffle() : swapBytesShuffle();
#pragma GCC unroll 4
        for (std::size_t n = 0; n < span.vectors; ++n) {
            const std::size_t at = vectorInOrder<Reverse>(n, span.vectors) * kVectorPixels;
            __m256i x = _mm256_shuffle_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(span.src + 2 * at)), shuffle);
            if constexpr (Reverse) x = _mm256_permute4x64_epi64(x, 0x4E);
            storePixels<Reverse>(dst, at, x);
        }
        i = span.vectors * kVectorPixels;
    } else {
        i = packedHead(first, count);
        decodeRunPortable<Reverse>(raw, packing, first, i, dst);
        constexpr std::size_t kVectorBytes = kVectorPixels / kPackedGroupPixels * kPackedGroupBytes;
        const VectorSpan span = packedVectors(raw, first + i, count - i, kVectorPixels, kPackedLoadBytes);
#pragma GCC unroll 4
        for (std::size_t n = 0; n < span.vectors; ++n) {
            const std::size_t v = vectorInOrder<Reverse>(n, span.vectors);
            storePixels<Reverse>(dst, i + v * kVectorPixels, unpack12<Reverse>(span.src + v * kVectorBytes));
        }
        i += span.vectors * kVectorPixels;
    }
    decodeRunPortable<Reverse>(raw, packing, first + i, count - i, Reverse ? dst - i : dst + i);
}

template void decodeRunAvx2<false>(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);
template void decodeRunAvx2<true>(RawView, PixelPacking, std::size_t, std::size_t, std::uint16_t*);

namespace {

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

}  // namespace

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

const Kernels kAvx2Kernels{decodeRunAvx2<false>, decodeRunAvx2<true>, turnFrameAvx2};

}  // namespace ZmCoreLib_v4::repack

#endif  // ZM_REPACK_X86
