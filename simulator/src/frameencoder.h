// Renders a captured frame into the bytes the camera sends over the bulk endpoint.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "simulator/framepattern.h"
#include "simulator/hardwaremodel.h"

namespace simulator {

// What the FPGA holds in one frame slot: enough to render the frame's bytes on demand.
struct CapturedFrame {
    std::uint32_t number = 0;  // 0: the slot never held a frame; its bytes are zeros
    FrameGeometry geometry;
    Family family = Family::A;
    std::chrono::steady_clock::time_point capturedAt;  // the end of the sensor's readout
};

// Bytes of the frame's pixel data: 2 per pixel (family A) or 6 per 4 pixels (family B, the last
// group padded with zero pixels).
std::size_t framePayloadSize(const CapturedFrame& frame);

// Fills `out` with the bytes at `offset` onwards of the frame's wire image: the pixel data
// followed by zeros. Family A sends each 16-bit sample most significant byte first; family B
// packs samples p0..p3 into three big-endian words p0<<4|p1&15, (p1>>4)<<8|p2&255, (p2>>8)<<12|p3.
void renderFrameBytes(const CapturedFrame& frame, std::size_t offset, std::span<std::uint8_t> out);

}  // namespace simulator
