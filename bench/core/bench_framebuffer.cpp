// Frame hand-off through a frame buffer: allocate, commit, get and release cycles per second,
// on one thread (the cost of the operations themselves) and between a producer and a consumer
// thread (the cost including the cross-thread hand-over).
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "core/framebuffer.h"
#include "platform/event.h"

namespace {

using ZmCoreLib::FrameBuffer;
using ZmCoreLib::FrameMemBlock;
using ZmCoreLib::IFrame;

// A full ICX285 frame at 16 bits per pixel; frames are handed over by pointer, so the size only
// matters for the first allocation.
constexpr int kWidth = 1392;
constexpr int kHeight = 1040;
constexpr int kFrameBytes = kWidth * kHeight * 2;

bool produceOne(FrameBuffer& buffer) {
    auto* frame = static_cast<FrameMemBlock*>(buffer.Allocate(kFrameBytes));
    if (!frame) return false;
    frame->SetFormat(kWidth, kHeight, 16);
    return frame->Commit();
}

void BM_HandOffOneThread(benchmark::State& state) {
    FrameBuffer buffer;
    for (auto _ : state) {
        produceOne(buffer);
        IFrame* frame = buffer.GetFrame();
        benchmark::DoNotOptimize(frame);
        frame->Release();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandOffOneThread);

// The producer thread fills the buffer as fast as frames come free; the measured consumer takes
// each frame as soon as it is ready, either polling GetFrame with a yield (as the repacking
// thread does) or sleeping until an observer's wake-up (as a client's streaming thread does).
template <bool kWokenByObserver>
void BM_HandOffTwoThreads(benchmark::State& state) {
    FrameBuffer buffer;
    struct WakeUp : ZmCoreLib::IFrameBufferObserver {
        void OnFrameReady(int) override { ready.set(); }
        platform::Event ready{platform::ResetMode::Auto};
    } wakeUp;
    if (kWokenByObserver) buffer.AddObserver(&wakeUp);

    std::atomic<bool> stop{false};
    std::thread producer([&] {
        while (!stop)
            if (!produceOne(buffer)) std::this_thread::yield();
    });
    for (auto _ : state) {
        IFrame* frame;
        while ((frame = buffer.GetFrame()) == nullptr) {
            if (kWokenByObserver)
                wakeUp.ready.wait(100);
            else
                std::this_thread::yield();
        }
        frame->Release();
    }
    stop = true;
    producer.join();
    buffer.RemoveObserver(&wakeUp);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandOffTwoThreads<false>)->Name("BM_HandOffTwoThreads/polling")->UseRealTime();
BENCHMARK(BM_HandOffTwoThreads<true>)->Name("BM_HandOffTwoThreads/observer")->UseRealTime();

}  // namespace
