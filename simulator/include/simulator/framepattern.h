// The picture every simulated camera sends: a diagonal ramp that moves with the frame number.
//
// This header is the oracle for tests: from a frame's number and geometry they can compute every
// pixel the library must deliver after unpacking, byte-order conversion and rotation.
//
// A sample depends on the frame number and the pixel's position on the sensor:
//   sample = (frameNumber * 1021 + sensorRow * 41 + sensorColumn * 29) mod 2^bits
// with 16 bits for family A and 12 bits for family B. Frame numbers count the frames a camera
// captured since power-up, starting at 1. The step per frame is odd, so consecutive frames differ
// at every pixel and the frame number (mod 2^bits) can be read back from any pixel.
//
// A frame covers the sensor region (x, y, width x binX, height x binY) as the region and binning
// registers say; output pixel (row r, column c) shows sensor row y + r * binY, column x + c * binX.
#pragma once

#include <cstdint>

namespace simulator {

inline constexpr std::uint32_t kPatternFrameStep = 1021;
inline constexpr std::uint32_t kPatternRowStep = 41;
inline constexpr std::uint32_t kPatternColumnStep = 29;

struct FrameGeometry {
    std::uint32_t x = 0;       // first sensor column
    std::uint32_t y = 0;       // first sensor row
    std::uint32_t width = 0;   // output pixels per row
    std::uint32_t height = 0;  // output rows
    std::uint32_t binX = 1;
    std::uint32_t binY = 1;
    friend bool operator==(const FrameGeometry&, const FrameGeometry&) = default;
};

constexpr std::uint16_t patternSample(std::uint32_t frameNumber, std::uint32_t sensorRow,
                                      std::uint32_t sensorColumn, int bits) {
    const std::uint32_t value =
        frameNumber * kPatternFrameStep + sensorRow * kPatternRowStep + sensorColumn * kPatternColumnStep;
    return static_cast<std::uint16_t>(value & ((1u << bits) - 1));
}

// The sample at output row `row`, column `column` of a frame, before any rotation.
constexpr std::uint16_t patternPixel(std::uint32_t frameNumber, const FrameGeometry& geometry,
                                     std::uint32_t row, std::uint32_t column, int bits) {
    return patternSample(frameNumber, geometry.y + row * geometry.binY, geometry.x + column * geometry.binX,
                         bits);
}

// The 16-bit value the library's finished frame holds for a sample: 12-bit samples sit in the
// upper 12 bits.
constexpr std::uint16_t finishedPixel(std::uint16_t sample, int bits) {
    return static_cast<std::uint16_t>(sample << (16 - bits));
}

// The frame number, modulo 2^bits, of a frame whose pixel at the given sensor position holds
// `sample`.
constexpr std::uint32_t patternFrameNumber(std::uint16_t sample, std::uint32_t sensorRow,
                                           std::uint32_t sensorColumn, int bits) {
    const std::uint32_t mask = (1u << bits) - 1;
    // Inverse of the odd frame step modulo 2^bits by Newton's iteration.
    std::uint32_t inverse = kPatternFrameStep;
    for (int i = 0; i < 5; ++i) inverse *= 2 - kPatternFrameStep * inverse;
    const std::uint32_t offset = sensorRow * kPatternRowStep + sensorColumn * kPatternColumnStep;
    return ((sample - offset) * inverse) & mask;
}

}  // namespace simulator
