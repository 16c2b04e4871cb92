#include "previewconversion.h"

#include <tmmintrin.h>

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

// Output columns [first, width) of one row; `rowEnd` points one past the frame row's last element.
void convertColumnsPortable(const std::uint16_t* rowEnd, std::uint8_t* out, std::int32_t first,
                            std::int32_t width, int pixelBytes) {
    for (std::int32_t c = first; c < width; ++c) putGrey(out + c * pixelBytes, rowEnd[-1 - c], pixelBytes);
}

// Sixteen pixels per step: the high bytes of sixteen samples in reversed order, then spread into
// pixels with byte shuffles.
__attribute__((target("ssse3"))) void convertRowVector(const std::uint16_t* rowEnd, std::uint8_t* out,
                                                       std::int32_t width, PixelLayout layout) {
    constexpr char Z = -128;  // shuffle index that yields a zero byte
    // Samples are little-endian: the high byte of word i is byte 2i+1.
    const __m128i highBytesReversedLow = _mm_setr_epi8(15, 13, 11, 9, 7, 5, 3, 1, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i highBytesReversedHigh = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 15, 13, 11, 9, 7, 5, 3, 1);
    std::int32_t c = 0;
    if (layout == PixelLayout::Bgr24) {
        const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
        const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
        const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
        for (; c + 16 <= width; c += 16) {
            const auto* nearer = reinterpret_cast<const __m128i*>(rowEnd - c - 8);
            const auto* farther = reinterpret_cast<const __m128i*>(rowEnd - c - 16);
            const __m128i grey =
                _mm_or_si128(_mm_shuffle_epi8(_mm_loadu_si128(nearer), highBytesReversedLow),
                             _mm_shuffle_epi8(_mm_loadu_si128(farther), highBytesReversedHigh));
            auto* dst = reinterpret_cast<__m128i*>(out + c * 3);
            _mm_storeu_si128(dst, _mm_shuffle_epi8(grey, spread0));
            _mm_storeu_si128(dst + 1, _mm_shuffle_epi8(grey, spread1));
            _mm_storeu_si128(dst + 2, _mm_shuffle_epi8(grey, spread2));
        }
        convertColumnsPortable(rowEnd, out, c, width, 3);
        return;
    }
    const __m128i spread0 = _mm_setr_epi8(0, 0, 0, Z, 1, 1, 1, Z, 2, 2, 2, Z, 3, 3, 3, Z);
    const __m128i spread1 = _mm_setr_epi8(4, 4, 4, Z, 5, 5, 5, Z, 6, 6, 6, Z, 7, 7, 7, Z);
    const __m128i spread2 = _mm_setr_epi8(8, 8, 8, Z, 9, 9, 9, Z, 10, 10, 10, Z, 11, 11, 11, Z);
    const __m128i spread3 = _mm_setr_epi8(12, 12, 12, Z, 13, 13, 13, Z, 14, 14, 14, Z, 15, 15, 15, Z);
    for (; c + 16 <= width; c += 16) {
        const auto* nearer = reinterpret_cast<const __m128i*>(rowEnd - c - 8);
        const auto* farther = reinterpret_cast<const __m128i*>(rowEnd - c - 16);
        const __m128i grey = _mm_or_si128(_mm_shuffle_epi8(_mm_loadu_si128(nearer), highBytesReversedLow),
                                          _mm_shuffle_epi8(_mm_loadu_si128(farther), highBytesReversedHigh));
        auto* dst = reinterpret_cast<__m128i*>(out + c * 4);
        _mm_storeu_si128(dst, _mm_shuffle_epi8(grey, spread0));
        _mm_storeu_si128(dst + 1, _mm_shuffle_epi8(grey, spread1));
        _mm_storeu_si128(dst + 2, _mm_shuffle_epi8(grey, spread2));
        _mm_storeu_si128(dst + 3, _mm_shuffle_epi8(grey, spread3));
    }
    convertColumnsPortable(rowEnd, out, c, width, 4);
}

// Red overlays drawn over the converted rows: the border columns and, when shown, the crosshair.
void drawOverlays(std::int32_t width, std::int32_t height, const PreviewTarget& target,
                  const CrosshairState& crosshair) {
    const int pixelBytes = bytesPerPixel(target.layout);
    const auto pixel = [&](std::int64_t rowFromBottom, std::int64_t column) {
        return target.data + (height - 1 - rowFromBottom) * target.strideBytes + column * pixelBytes;
    };
    for (std::int32_t row = 0; row < height; ++row) {
        putRed(pixel(row, 0), pixelBytes);
        putRed(pixel(row, width - 1), pixelBytes);
    }
    if (!crosshair.shown) return;
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
    static const bool available = __builtin_cpu_supports("ssse3");
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
    const int pixelBytes = bytesPerPixel(target.layout);
    for (std::int32_t row = 0; row < height; ++row) {
        const std::uint16_t* rowEnd = frame + std::int64_t{row + 1} * width;
        std::uint8_t* out = target.data + row * target.strideBytes;
        if (path == ConversionPath::Vector)
            convertRowVector(rowEnd, out, width, target.layout);
        else
            convertColumnsPortable(rowEnd, out, 0, width, pixelBytes);
    }
    drawOverlays(width, height, target, crosshair);
}

}  // namespace ZenmiraVidSource
