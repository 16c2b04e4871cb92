// Throughput of the frame conversions on the cameras' real frame sizes, beside memcpy of the same
// output frame and the pixel-by-pixel reference. Bytes per second count the output frame, so the
// ratio of a conversion to memcpy reads directly from the reported rates; BM_RepackAgainstMemcpy
// measures that ratio for each vector path the processor has, with both under the same machine load.
#include "devices/repack.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using ZmCoreLib_v4::PixelPacking;

struct FrameSize {
    int width;
    int height;
};

constexpr FrameSize kFrameSizes[] = {{1392, 1040}, {1380, 1040}, {1440, 1080},
                                     {1028, 1028}, {780, 582},   {4036, 2692}};

struct Frames {
    std::vector<std::uint8_t> raw;
    std::vector<std::uint16_t> out;
    std::size_t outBytes() const { return out.size() * sizeof(std::uint16_t); }
};

Frames makeFrames(const benchmark::State& state, PixelPacking packing) {
    const std::size_t pixels =
        static_cast<std::size_t>(state.range(0)) * static_cast<std::size_t>(state.range(1));
    Frames frames{std::vector<std::uint8_t>(ZmCoreLib_v4::rawFrameBytes(packing, pixels)),
                  std::vector<std::uint16_t>(pixels)};
    std::mt19937 random(1);
    for (auto& byte : frames.raw) byte = static_cast<std::uint8_t>(random());
    return frames;
}

void BM_Memcpy(benchmark::State& state) {
    Frames frames = makeFrames(state, PixelPacking::kBigEndian16);
    for (auto _ : state) {
        std::memcpy(frames.out.data(), frames.raw.data(), frames.outBytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frames.outBytes()));
}

using Convert = void (*)(const std::uint8_t*, std::size_t, PixelPacking, int, int, int, std::uint16_t*);

void BM_Repack(benchmark::State& state, Convert convert, PixelPacking packing, int rotation) {
    Frames frames = makeFrames(state, packing);
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state) {
        convert(frames.raw.data(), frames.raw.size(), packing, width, height, rotation, frames.out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frames.outBytes()));
}

// A vector path and memcpy of the same output frame, timed alternately in one loop so that both
// see the same machine load: the large frames run from memory, whose speed swings with the load of
// the machine. The counter memcpy_ratio is conversion throughput / memcpy throughput.
void BM_RepackAgainstMemcpy(benchmark::State& state, ZmCoreLib_v4::RepackIsa isa, PixelPacking packing,
                            int rotation) {
    Frames frames = makeFrames(state, packing);
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<std::uint16_t> from(frames.out.size(), 1);
    std::vector<std::uint16_t> to(frames.out.size());
    using Clock = std::chrono::steady_clock;
    Clock::duration converting{}, copying{};
    for (auto _ : state) {
        const auto start = Clock::now();
        ZmCoreLib_v4::repackFrameWith(isa, frames.raw.data(), frames.raw.size(), packing, width, height,
                                      rotation, frames.out.data());
        benchmark::ClobberMemory();
        const auto converted = Clock::now();
        std::memcpy(to.data(), from.data(), frames.outBytes());
        benchmark::ClobberMemory();
        copying += Clock::now() - converted;
        converting += converted - start;
    }
    state.counters["memcpy_ratio"] =
        std::chrono::duration<double>(copying) / std::chrono::duration<double>(converting);
}

void frameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"w", "h"});
    for (FrameSize size : kFrameSizes) benchmark->Args({size.width, size.height});
}

BENCHMARK(BM_Memcpy)->Apply(frameSizes);

// Every conversion through the fastest path, the portable path and the reference, and each vector
// path against memcpy.
const bool kRegistered = [] {
    const struct {
        const char* name;
        PixelPacking packing;
    } packings[] = {{"swap16", PixelPacking::kBigEndian16}, {"unpack12", PixelPacking::kPacked12}};
    const struct {
        const char* name;
        Convert convert;
    } paths[] = {{"fast", ZmCoreLib_v4::repackFrame},
                 {"portable",
                  [](const std::uint8_t* raw, std::size_t bytes, PixelPacking packing, int width, int height,
                     int rotation, std::uint16_t* out) {
                      ZmCoreLib_v4::repackFrameWith(ZmCoreLib_v4::RepackIsa::kPortable, raw, bytes, packing,
                                                    width, height, rotation, out);
                  }},
                 {"reference", ZmCoreLib_v4::repackFrameReference}};
    // Each vector path against memcpy: a processor without AVX-512 runs the AVX2 path.
    const struct {
        const char* name;
        ZmCoreLib_v4::RepackIsa isa;
    } vectorPaths[] = {{"avx2", ZmCoreLib_v4::RepackIsa::kAvx2},
                       {"avx512", ZmCoreLib_v4::RepackIsa::kAvx512}};
    for (const auto& packing : packings) {
        for (int rotation : {0, 90, 180, 270}) {
            const std::string conversion = std::string(packing.name) + "/rot" + std::to_string(rotation);
            for (const auto& path : paths) {
                benchmark::RegisterBenchmark(
                    ("BM_Repack/" + std::string(path.name) + "/" + conversion).c_str(), BM_Repack,
                    path.convert, packing.packing, rotation)
                    ->Apply(frameSizes);
            }
            for (const auto& vector : vectorPaths) {
                if (!ZmCoreLib_v4::repackIsaAvailable(vector.isa)) continue;
                benchmark::RegisterBenchmark(
                    ("BM_RepackAgainstMemcpy/" + std::string(vector.name) + "/" + conversion).c_str(),
                    BM_RepackAgainstMemcpy, vector.isa, packing.packing, rotation)
                    ->Apply(frameSizes);
            }
        }
    }
    return true;
}();

}  // namespace
