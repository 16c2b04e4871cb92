// Per-pixel conversion of a raw camera frame into a finished frame.
//
// Cameras send their pixels row after row, either as 16-bit words with the most significant byte
// first or as 12-bit pixels packed four into six bytes. A finished frame holds 16-bit pixels in
// the host's byte order, rotated clockwise by 0, 90, 180 or 270 degrees. The functions are pure:
// they touch only the two buffers they are given and may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZmCoreLib_v4 {

enum class PixelPacking {
    // Two bytes per pixel, most significant first.
    kBigEndian16,
    // Four pixels in six bytes, read as three big-endian words A, B, C:
    // A & 0xFFF0, (B & 0xFF00) | (A & 0xF) << 4, (C & 0xF000) | (B & 0xFF) << 4, (C & 0xFFF) << 4.
    // The group phase runs on across row ends.
    kPacked12,
};

// Instruction sets the conversion has paths for.
enum class RepackIsa {
    kPortable,  // any processor
    kAvx2,      // x86 processors with AVX2
    kAvx512,    // x86 processors with AVX-512 BW and VBMI: wider straight and half turns; quarter
                // turns stay on AVX2, which is faster there
};

bool repackIsaAvailable(RepackIsa isa);

// Bytes a raw frame of `pixels` pixels occupies on the wire. Packed frames are padded as the
// camera sends them: 1.5 bytes per pixel plus 4, rounded down to a multiple of 4.
std::size_t rawFrameBytes(PixelPacking packing, std::size_t pixels);

// Converts the width x height raw frame `raw` (rawBytes long) into `out`, which must hold
// width x height pixels. For 90 and 270 degrees the output is height pixels wide and width high:
// input (row r, column c) goes to output (c, height - 1 - r) at 90 and (width - 1 - c, r) at 270;
// 180 reverses the pixel order. Raw bytes past rawBytes read as 0, so a short buffer never makes
// the conversion read past its end. rotationDegrees must be 0, 90, 180 or 270.
//
// Uses the widest vector instructions the processor offers (chosen once at run time).
void repackFrame(const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing, int width, int height,
                 int rotationDegrees, std::uint16_t* out);

// The same with the path for `isa`, which must be available: for tests and benchmarks of each path.
void repackFrameWith(RepackIsa isa, const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing,
                     int width, int height, int rotationDegrees, std::uint16_t* out);

// The same conversion pixel by pixel, written for clarity: the oracle the fast paths are checked
// against.
void repackFrameReference(const std::uint8_t* raw, std::size_t rawBytes, PixelPacking packing, int width,
                          int height, int rotationDegrees, std::uint16_t* out);

}  // namespace ZmCoreLib_v4
