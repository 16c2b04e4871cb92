// Turns a 16-bit grey camera frame into the live picture: an RGB image with red border columns
// and an optional red crosshair.
//
// The picture shows the frame's rows in their order with each row mirrored: output row t (from
// the top), column c takes the high byte of frame element t * width + (width - 1 - c). Crosshair
// rows count from the bottom row of the picture, columns from the left.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZenmiraVidSource {

enum class PixelLayout {
    Bgr24,   // three bytes per pixel: blue, green, red
    Bgrx32,  // four bytes per pixel: blue, green, red, then 0
};

constexpr int bytesPerPixel(PixelLayout layout) {
    return layout == PixelLayout::Bgr24 ? 3 : 4;
}

struct CrosshairState {
    bool shown = false;
    std::int32_t x = 0;  // any value; parts outside the picture are not drawn
    std::int32_t y = 0;
};

// Arms reach this far below/left of the centre and one pixel less above/right of it.
inline constexpr std::int64_t kCrosshairArmPixels = 100;

struct PreviewTarget {
    std::uint8_t* data;          // first byte of the top row
    std::ptrdiff_t strideBytes;  // from one row start to the next; at least width * bytesPerPixel
    PixelLayout layout;
};

enum class ConversionPath {
    Portable,  // one pixel at a time; any processor
    Vector,    // thirty-two pixels per step; needs AVX2 (vectorPathAvailable())
};

bool vectorPathAvailable();

// Writes `height` rows of `width` pixels into `target`; bytes between the end of a row and the
// next row start are not touched. `frame` holds width * height elements. Uses the vector path
// when the processor has it.
void convertPreview(const std::uint16_t* frame, std::int32_t width, std::int32_t height,
                    const PreviewTarget& target, const CrosshairState& crosshair);

// The same with a chosen path (the vector path must be available).
void convertPreview(const std::uint16_t* frame, std::int32_t width, std::int32_t height,
                    const PreviewTarget& target, const CrosshairState& crosshair, ConversionPath path);

}  // namespace ZenmiraVidSource
