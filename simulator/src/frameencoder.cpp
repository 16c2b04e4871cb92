#include "frameencoder.h"

#include <algorithm>
#include <cstring>

namespace simulator {

namespace {

constexpr int kFamilyABits = 16;
constexpr int kFamilyBBits = 12;
constexpr std::size_t kPackedGroupBytes = 6;
constexpr std::size_t kPackedGroupPixels = 4;

std::size_t pixelCount(const CapturedFrame& frame) {
    return static_cast<std::size_t>(frame.geometry.width) * frame.geometry.height;
}

// Sample of pixel `index` in row order, 0 past the end.
std::uint16_t sampleAt(const CapturedFrame& frame, std::size_t index, int bits) {
    if (index >= pixelCount(frame)) return 0;
    const auto row = static_cast<std::uint32_t>(index / frame.geometry.width);
    const auto column = static_cast<std::uint32_t>(index % frame.geometry.width);
    return patternPixel(frame.number, frame.geometry, row, column, bits);
}

// The six wire bytes of packed group `group`.
void packGroup(const CapturedFrame& frame, std::size_t group, std::uint8_t* bytes) {
    std::uint16_t p[kPackedGroupPixels];
    for (std::size_t i = 0; i < kPackedGroupPixels; ++i) {
        p[i] = sampleAt(frame, group * kPackedGroupPixels + i, kFamilyBBits);
    }
    const std::uint16_t words[3] = {
        static_cast<std::uint16_t>(p[0] << 4 | (p[1] & 0xF)),
        static_cast<std::uint16_t>((p[1] >> 4) << 8 | (p[2] & 0xFF)),
        static_cast<std::uint16_t>((p[2] >> 8) << 12 | p[3]),
    };
    for (int i = 0; i < 3; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i]);
    }
}

void renderFamilyA(const CapturedFrame& frame, std::size_t offset, std::span<std::uint8_t> out) {
    // Walk row by row so the ramp is computed incrementally.
    const std::size_t width = frame.geometry.width;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::size_t byte = offset + done;
        const std::size_t pixel = byte / 2;
        const std::uint16_t sample = sampleAt(frame, pixel, kFamilyABits);
        if (byte % 2 == 0 && done + 2 <= out.size() && pixel % width + 1 < width) {
            // Rest of this row in one go.
            const std::size_t run = std::min((out.size() - done) / 2, width - pixel % width);
            std::uint16_t value = sample;
            for (std::size_t i = 0; i < run; ++i) {
                out[done++] = static_cast<std::uint8_t>(value >> 8);
                out[done++] = static_cast<std::uint8_t>(value);
                value = static_cast<std::uint16_t>(value + frame.geometry.binX * kPatternColumnStep);
            }
            continue;
        }
        out[done++] =
            byte % 2 == 0 ? static_cast<std::uint8_t>(sample >> 8) : static_cast<std::uint8_t>(sample);
    }
}

void renderFamilyB(const CapturedFrame& frame, std::size_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    std::uint8_t group[kPackedGroupBytes];
    while (done < out.size()) {
        const std::size_t byte = offset + done;
        const std::size_t groupIndex = byte / kPackedGroupBytes;
        const std::size_t within = byte % kPackedGroupBytes;
        packGroup(frame, groupIndex, group);
        const std::size_t count = std::min(kPackedGroupBytes - within, out.size() - done);
        std::memcpy(out.data() + done, group + within, count);
        done += count;
    }
}

}  // namespace

std::size_t framePayloadSize(const CapturedFrame& frame) {
    if (frame.family == Family::A) return pixelCount(frame) * 2;
    return (pixelCount(frame) + kPackedGroupPixels - 1) / kPackedGroupPixels * kPackedGroupBytes;
}

void renderFrameBytes(const CapturedFrame& frame, std::size_t offset, std::span<std::uint8_t> out) {
    const std::size_t payload = frame.number == 0 ? 0 : framePayloadSize(frame);
    const std::size_t pixelBytes = offset < payload ? std::min(payload - offset, out.size()) : 0;
    if (pixelBytes > 0) {
        if (frame.family == Family::A) {
            renderFamilyA(frame, offset, out.first(pixelBytes));
        } else {
            renderFamilyB(frame, offset, out.first(pixelBytes));
        }
    }
    std::memset(out.data() + pixelBytes, 0, out.size() - pixelBytes);
}

}  // namespace simulator
