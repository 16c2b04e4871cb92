// The live-picture conversion at the cameras' real frame sizes, against the portable one-pixel
// loop, against memcpy of the same output bytes, and against GStreamer's video converter
// (GRAY16_BE to BGRx, one thread), the work videoconvert would do for the same picture.
//
// Targets: at least 10x the converter's speed and at least 0.7 of memcpy's throughput of the
// output bytes. Every benchmark reports output bytes per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "previewconversion.h"

#ifdef ZM_BENCH_VIDEOCONVERT
#include <gst/video/video.h>
#endif

namespace {

using ZenmiraVidSource::ConversionPath;
using ZenmiraVidSource::PixelLayout;

struct FrameSize {
    int width, height;
};
constexpr FrameSize kSizes[] = {{1392, 1040}, {1380, 1040}, {1440, 1080},
                                {1028, 1028}, {780, 582},   {4036, 2692}};

void frameSizes(benchmark::internal::Benchmark* b) {
    for (const FrameSize& size : kSizes) b->Args({size.width, size.height});
    b->ArgNames({"w", "h"});
}

std::vector<std::uint16_t> cameraFrame(int w, int h) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint16_t>(i * 37);
    return frame;
}

template <PixelLayout layout, ConversionPath path, bool crosshair>
void Preview(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto frame = cameraFrame(w, h);
    const std::ptrdiff_t stride = (static_cast<std::ptrdiff_t>(w) * bytesPerPixel(layout) + 3) / 4 * 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * h);
    const ZenmiraVidSource::CrosshairState cross{crosshair, w / 2, h / 2};
    if (path == ConversionPath::Vector && !ZenmiraVidSource::vectorPathAvailable()) {
        state.SkipWithError("the processor has no AVX2");
        return;
    }
    for (auto _ : state) {
        ZenmiraVidSource::convertPreview(frame.data(), w, h, {out.data(), stride, layout}, cross, path);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * stride * h);
}

template <int pixelBytes>
void MemcpyOutputBytes(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * state.range(1) * pixelBytes;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// Conversion and memcpy of the same output bytes, timed alternately in one loop so that both see
// the same machine load; the counter memcpy_ratio is conversion throughput / memcpy throughput.
template <PixelLayout layout>
void PreviewAgainstMemcpy(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const auto frame = cameraFrame(w, h);
    const std::ptrdiff_t stride = (static_cast<std::ptrdiff_t>(w) * bytesPerPixel(layout) + 3) / 4 * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * h;
    std::vector<std::uint8_t> out(bytes), from(bytes, 1), to(bytes);
    using Clock = std::chrono::steady_clock;
    Clock::duration converting{}, copying{};
    for (auto _ : state) {
        const auto start = Clock::now();
        ZenmiraVidSource::convertPreview(frame.data(), w, h, {out.data(), stride, layout}, {});
        benchmark::ClobberMemory();
        const auto converted = Clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
        copying += Clock::now() - converted;
        converting += converted - start;
    }
    state.counters["memcpy_ratio"] =
        std::chrono::duration<double>(copying) / std::chrono::duration<double>(converting);
}

BENCHMARK(PreviewAgainstMemcpy<PixelLayout::Bgr24>)->Apply(frameSizes);
BENCHMARK(PreviewAgainstMemcpy<PixelLayout::Bgrx32>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgr24, ConversionPath::Vector, false>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgr24, ConversionPath::Vector, true>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgrx32, ConversionPath::Vector, false>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgrx32, ConversionPath::Vector, true>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgr24, ConversionPath::Portable, false>)->Apply(frameSizes);
BENCHMARK(Preview<PixelLayout::Bgrx32, ConversionPath::Portable, false>)->Apply(frameSizes);
BENCHMARK(MemcpyOutputBytes<3>)->Apply(frameSizes);
BENCHMARK(MemcpyOutputBytes<4>)->Apply(frameSizes);

#ifdef ZM_BENCH_VIDEOCONVERT
void VideoconvertGray16BeToBgrx(benchmark::State& state) {
    gst_init(nullptr, nullptr);
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    GstVideoInfo in, out;
    gst_video_info_set_format(&in, GST_VIDEO_FORMAT_GRAY16_BE, w, h);
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGRx, w, h);
    GstStructure* config = gst_structure_new("GstVideoConverter", GST_VIDEO_CONVERTER_OPT_THREADS,
                                             G_TYPE_UINT, 1u, GST_VIDEO_CONVERTER_OPT_DITHER_METHOD,
                                             GST_TYPE_VIDEO_DITHER_METHOD, GST_VIDEO_DITHER_BAYER, nullptr);
    GstVideoConverter* converter = gst_video_converter_new(&in, &out, config);
    GstBuffer* source = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&in), nullptr);
    GstBuffer* target = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&out), nullptr);
    gst_buffer_memset(source, 0, 0x5A, GST_VIDEO_INFO_SIZE(&in));
    GstVideoFrame inFrame, outFrame;
    gst_video_frame_map(&inFrame, &in, source, GST_MAP_READ);
    gst_video_frame_map(&outFrame, &out, target, GST_MAP_WRITE);
    for (auto _ : state) {
        gst_video_converter_frame(converter, &inFrame, &outFrame);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * GST_VIDEO_INFO_SIZE(&out));
    gst_video_frame_unmap(&inFrame);
    gst_video_frame_unmap(&outFrame);
    gst_buffer_unref(source);
    gst_buffer_unref(target);
    gst_video_converter_free(converter);
}
BENCHMARK(VideoconvertGray16BeToBgrx)->Apply(frameSizes);
#endif

}  // namespace
