#include "previewconversion.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace ZenmiraVidSource {

namespace {

constexpr std::uint8_t kRed[4] = {0, 0, 255, 0};  // blue, green, red, unused

inline void putGrey(std::uint8_t* pixel, std::uint16_t sample, int pixelBytes) {
    const auto grey = static_cast<std::uint8_t>(sample >> 8);
    pixel[0] = pixel[1] = pixel[2] = grey;
    if (pixelBytes == 4) pixel[3] = 0;
}

inline void putRed(std::uint8_t* pixel, int pixelBytes) {
    std::memcpy(pixel, kRed, pixelBytes);
}

// Output columns [first, last) of one row; `rowEnd` points one past the frame row's last element.
void convertColumnsPortable(const std::uint16_t* rowEnd, std::uint8_t* out, std::int32_t first,
                            std::int32_t last, int pixelBytes) {
    for (std::int32_t c = first; c < last; ++c) putGrey(out + c * pixelBytes, rowEnd[-1 - c], pixelBytes);
}

constexpr int kPixelsPerStep = 32;
// Rows are read back to front, which the hardware prefetchers follow poorly; the samples this far
// ahead of the reading position are asked for in advance.
constexpr std::uintptr_t kPrefetchBytes = 2048;

// Thirty-two pixels per step: the high bytes of 32 samples in reversed order (one 128-bit half
// per 16 pixels), then spread into pixels with in-lane byte shuffles: three 32-byte vectors of
// BGR or four of BGRx.
template <PixelLayout layout>
__attribute__((target("avx2"))) void convertRowVector(const std::uint16_t* rowEnd, std::uint8_t* out,
                                                      std::int32_t width) {
    constexpr int pixelBytes = bytesPerPixel(layout);
    constexpr char Z = -128;  // shuffle index that yields a zero byte
    std::int32_t c = 0;
    // Samples are little-endian: the high byte of word i is byte 2i+1. Per 128-bit lane: eight
    // samples of the nearer half go to bytes 0-7, eight of the farther half to bytes 8-15.
    const __m256i highBytesReversed = _mm256_setr_epi8(15, 13, 11, 9, 7, 5, 3, 1, Z, Z, Z, Z, Z, Z, Z, Z, Z,
                                                       Z, Z, Z, Z, Z, Z, Z, 15, 13, 11, 9, 7, 5, 3, 1);
    for (; c + kPixelsPerStep <= width; c += kPixelsPerStep) {
        // Pixels c..c+15 come from the 16 samples ending at rowEnd - c, pixels c+16..c+31 from
        // the 16 before them; each 256-bit load holds one group as (farther 8, nearer 8).
        const __m256i groupA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowEnd - c - 16));
        const __m256i groupB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowEnd - c - 32));
        // Swap the halves so that the nearer samples sit in the low lane, then pick high bytes.
        const __m256i a =
            _mm256_shuffle_epi8(_mm256_permute2x128_si256(groupA, groupA, 0x01), highBytesReversed);
        const __m256i b =
            _mm256_shuffle_epi8(_mm256_permute2x128_si256(groupB, groupB, 0x01), highBytesReversed);
        // Fold each group's two lanes into one 16-byte grey run: low lane bytes 0-7 | high lane 8-15.
        const __m128i greyLow =
            _mm_or_si128(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));  // pixels c..c+15
        const __m128i greyHigh =
            _mm_or_si128(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));  // pixels c+16..c+31
        // Near the row's start this asks for the end of the row before, harmlessly: a prefetch
        // never faults. The address is formed as an integer as it may lie outside the frame.
        _mm_prefetch(
            reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(rowEnd - c) - kPrefetchBytes),
            _MM_HINT_T0);
        std::uint8_t* to = out + c * pixelBytes;
        if constexpr (layout == PixelLayout::Bgr24) {
            const __m256i s01 = _mm256_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6,
                                                 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
            const __m256i s20 = _mm256_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15,
                                                 15, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
            const __m256i s12 = _mm256_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 11, 11,
                                                 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                                _mm256_shuffle_epi8(_mm256_set_m128i(greyLow, greyLow), s01));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32),
                                _mm256_shuffle_epi8(_mm256_set_m128i(greyHigh, greyLow), s20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 64),
                                _mm256_shuffle_epi8(_mm256_set_m128i(greyHigh, greyHigh), s12));
        } else {
            const __m256i s0 = _mm256_setr_epi8(0, 0, 0, Z, 1, 1, 1, Z, 2, 2, 2, Z, 3, 3, 3, Z, 4, 4, 4, Z, 5,
                                                5, 5, Z, 6, 6, 6, Z, 7, 7, 7, Z);
            const __m256i s1 = _mm256_setr_epi8(8, 8, 8, Z, 9, 9, 9, Z, 10, 10, 10, Z, 11, 11, 11, Z, 12, 12,
                                                12, Z, 13, 13, 13, Z, 14, 14, 14, Z, 15, 15, 15, Z);
            const __m256i low = _mm256_set_m128i(greyLow, greyLow);
            const __m256i high = _mm256_set_m128i(greyHigh, greyHigh);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_shuffle_epi8(low, s0));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), _mm256_shuffle_epi8(low, s1));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 64), _mm256_shuffle_epi8(high, s0));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 96), _mm256_shuffle_epi8(high, s1));
        }
    }
    convertColumnsPortable(rowEnd, out, c, width, pixelBytes);
}

// Converts every row with `convertRow(rowEnd, out)` and paints the red border columns of each row
// right after it, while the row is still in cache (a separate pass costs a cache miss per edge
// pixel once the picture outgrows the cache).
template <typename ConvertRow>
void convertRows(const std::uint16_t* frame, std::int32_t width, std::int32_t height,
                 const PreviewTarget& target, ConvertRow convertRow) {
    const int pixelBytes = bytesPerPixel(target.layout);
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* out = target.data + row * target.strideBytes;
        convertRow(frame + std::int64_t{row + 1} * width, out);
        putRed(out, pixelBytes);
        putRed(out + std::int64_t{width - 1} * pixelBytes, pixelBytes);
    }
}

// The red crosshair over the converted rows, when shown.
void drawCrosshair(std::int32_t width, std::int32_t height, const PreviewTarget& target,
                   const CrosshairState& crosshair) {
    if (!crosshair.shown) return;
    const int pixelBytes = bytesPerPixel(target.layout);
    const auto pixel = [&](std::int64_t rowFromBottom, std::int64_t column) {
        return target.data + (height - 1 - rowFromBottom) * target.strideBytes + column * pixelBytes;
    };
    const std::int64_t x = crosshair.x;
    const std::int64_t y = crosshair.y;
    if (x >= 0 && x < width) {
        const std::int64_t last = std::min<std::int64_t>(y + kCrosshairArmPixels - 1, height - 1);
        for (std::int64_t row = std::max<std::int64_t>(y - kCrosshairArmPixels, 0); row <= last; ++row)
            putRed(pixel(row, x), pixelBytes);
    }
    if (y >= 0 && y < height) {
        const std::int64_t last = std::min<std::int64_t>(x + kCrosshairArmPixels - 1, width - 1);
        for (std::int64_t column = std::max<std::int64_t>(x - kCrosshairArmPixels, 0); column <= last;
             ++column)
            putRed(pixel(y, column), pixelBytes);
    }
}

}  // namespace

bool vectorPathAvailable() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

void convertPreview(const std::uint16_t* frame, std::int32_t width, std::int32_t height,
                    const PreviewTarget& target, const CrosshairState& crosshair) {
    convertPreview(frame, width, height, target, crosshair,
                   vectorPathAvailable() ? ConversionPath::Vector : ConversionPath::Portable);
}

void convertPreview(const std::uint16_t* frame, std::int32_t width, std::int32_t height,
                    const PreviewTarget& target, const CrosshairState& crosshair, ConversionPath path) {
    if (width <= 0 || height <= 0) return;
    const auto rowsWith = [&](auto convertRow) { convertRows(frame, width, height, target, convertRow); };
    if (path == ConversionPath::Vector && target.layout == PixelLayout::Bgr24) {
        rowsWith([width](const std::uint16_t* rowEnd, std::uint8_t* out) {
            convertRowVector<PixelLayout::Bgr24>(rowEnd, out, width);
        });
    } else if (path == ConversionPath::Vector) {
        rowsWith([width](const std::uint16_t* rowEnd, std::uint8_t* out) {
            convertRowVector<PixelLayout::Bgrx32>(rowEnd, out, width);
        });
    } else {
        const int pixelBytes = bytesPerPixel(target.layout);
        rowsWith([width, pixelBytes](const std::uint16_t* rowEnd, std::uint8_t* out) {
            convertColumnsPortable(rowEnd, out, 0, width, pixelBytes);
        });
    }
    drawCrosshair(width, height, target, crosshair);
}

}  // namespace ZenmiraVidSource
