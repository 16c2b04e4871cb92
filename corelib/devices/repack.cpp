// Dispatch between the instruction-set paths, the portable path and the reference conversion.
#include "devices/repack.h"

#include <cassert>

#include "devices/repack_kernels.h"

namespace ZmCoreLib_v4 {

namespace repack {

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

}  // namespace repack

namespace {

using namespace repack;

constexpr Kernels kPortableKernels{decodeRunPortable<false>, decodeRunPortable<true>,
                                   turnFrameDecoded<decodeRunPortable<false>, scatterBlockPortable>};

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
