// The frame buffer: the pool of four frames, FIFO hand-off between a producer and a consumer
// thread, observers, the frame counter and Reset.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/framebuffer.h"
#include "platform/event.h"
#include "zmcorelib/exceptions.h"
#include "zmcorelib/ids.h"
#include "zmcorelib/setting.h"

namespace {

using platform::Event;
using platform::ResetMode;
using platform::WaitResult;
using ZmCoreLib::FrameBuffer;
using ZmCoreLib::FrameMemBlock;
using ZmCoreLib::IFrame;
using ZmCoreLib::IMemBlock;

constexpr std::uint32_t kGenerousMs = 5000;

// The frame counter setting's text, read as a client does.
std::u16string counterText(FrameBuffer& buffer) {
    ZmCoreLib::ISettingIterator* settings = buffer.GetSettings();
    std::u16string text = settings->IsDone() ? u"<none>" : settings->Current()->GetString()->GetValue();
    settings->Release();
    return text;
}

// Allocates, marks with `tag`, and commits; the frame must be given.
void produce(FrameBuffer& buffer, int tag) {
    IMemBlock* block = buffer.Allocate(16);
    ASSERT_NE(block, nullptr);
    auto* frame = static_cast<FrameMemBlock*>(block);
    frame->SetTag(tag);
    ASSERT_TRUE(block->Commit());
}

// How many frames Allocate hands out before it runs dry; they stay filling.
int allocateAll(FrameBuffer& buffer) {
    int count = 0;
    while (buffer.Allocate(1) != nullptr) ++count;
    return count;
}

TEST(FrameBufferTest, PoolHandsOutFourDistinctFramesThenNothing) {
    FrameBuffer buffer;
    std::vector<IMemBlock*> blocks;
    for (int i = 0; i < FrameBuffer::kFrameCount; ++i) blocks.push_back(buffer.Allocate(8));
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_NE(blocks[i], nullptr);
        for (std::size_t j = 0; j < i; ++j) EXPECT_NE(blocks[i], blocks[j]);
    }
    EXPECT_EQ(buffer.Allocate(8), nullptr);
    EXPECT_EQ(buffer.GetFrame(), nullptr) << "nothing was committed";
}

TEST(FrameBufferTest, CommitOrderIsDeliveryOrderAndAFullReadyQueueFreesByRelease) {
    FrameBuffer buffer;
    for (int tag = 1; tag <= FrameBuffer::kFrameCount; ++tag) produce(buffer, tag);
    EXPECT_EQ(buffer.Allocate(8), nullptr) << "all four frames are ready";

    IFrame* oldest = buffer.GetFrame();
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(oldest->GetTag(), 1);
    EXPECT_TRUE(oldest->Release());
    produce(buffer, 5);

    for (int tag : {2, 3, 4, 5}) {
        IFrame* frame = buffer.GetFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->GetTag(), tag);
        EXPECT_TRUE(frame->Release());
    }
    EXPECT_EQ(buffer.GetFrame(), nullptr);
}

TEST(FrameBufferTest, FrameDataFollowsTheRequestedSizeWithZeroedNewBytes) {
    FrameBuffer buffer;
    IMemBlock* block = buffer.Allocate(0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetData(), nullptr) << "no bytes, no data";

    block->SetSize(8);
    ASSERT_NE(block->GetData(), nullptr);
    std::memset(block->GetData(), 0xAB, 8);
    block->SetSize(4);
    block->SetSize(8);
    const auto* bytes = static_cast<const std::uint8_t*>(block->GetData());
    EXPECT_EQ(bytes[3], 0xAB) << "kept bytes survive";
    EXPECT_EQ(bytes[4], 0) << "bytes added again are zero";
    EXPECT_EQ(block->GetSize(), 8);

    block->SetSize(-1);
    EXPECT_EQ(block->GetSize(), 0);
    EXPECT_EQ(block->GetData(), nullptr);
}

TEST(FrameBufferTest, FormatAndTagTravelWithTheFrame) {
    FrameBuffer buffer;
    auto* frame = static_cast<FrameMemBlock*>(buffer.Allocate(1392 * 1040 * 2));
    ASSERT_NE(frame, nullptr);
    frame->SetFormat(1392, 1040, 16);
    frame->SetTag(42);
    ASSERT_TRUE(frame->Commit());

    IFrame* received = buffer.GetFrame();
    ASSERT_EQ(received, static_cast<IFrame*>(frame)) << "handed over by pointer, never copied";
    int width = 0, height = 0, bitsPerPixel = 0;
    received->GetFormat(&width, &height, &bitsPerPixel);
    EXPECT_EQ(width, 1392);
    EXPECT_EQ(height, 1040);
    EXPECT_EQ(bitsPerPixel, 16);
    received->GetFormat(nullptr, nullptr, nullptr);  // an uninterested caller
    EXPECT_EQ(received->GetTag(), 42);
    EXPECT_EQ(received->Reserved0(), nullptr);
    EXPECT_TRUE(received->Release());
}

class CountingObserver : public ZmCoreLib::IFrameBufferObserver {
public:
    void OnFrameReady(int reserved) override {
        ++calls;
        if (reserved != 0) ++nonZeroArguments;
    }
    int calls = 0;
    int nonZeroArguments = 0;
};

TEST(FrameBufferTest, ObserversAreRegisteredOnceAndCalledPerCommit) {
    FrameBuffer buffer;
    CountingObserver twice, removed;
    buffer.AddObserver(&twice);
    buffer.AddObserver(&twice);
    buffer.AddObserver(&removed);
    buffer.AddObserver(nullptr);
    buffer.RemoveObserver(&removed);
    buffer.RemoveObserver(&removed);  // not registered any more: nothing happens

    produce(buffer, 1);
    produce(buffer, 2);
    EXPECT_EQ(twice.calls, 2);
    EXPECT_EQ(twice.nonZeroArguments, 0);
    EXPECT_EQ(removed.calls, 0);
}

// An observer may fetch and give back the frame from inside the wake-up call, and may remove
// itself there: the buffer lock it runs under is not taken by GetFrame and Release.
TEST(FrameBufferTest, ObserverFetchesTheFrameAndLeavesFromInsideItsCall) {
    struct Fetcher : ZmCoreLib::IFrameBufferObserver {
        explicit Fetcher(FrameBuffer& b) : buffer(b) {}
        void OnFrameReady(int) override {
            IFrame* frame = buffer.GetFrame();
            tags.push_back(frame ? frame->GetTag() : -1);
            if (frame) frame->Release();
            buffer.RemoveObserver(this);
        }
        FrameBuffer& buffer;
        std::vector<int> tags;
    };
    FrameBuffer buffer;
    Fetcher fetcher(buffer);
    CountingObserver after;
    buffer.AddObserver(&fetcher);
    buffer.AddObserver(&after);

    produce(buffer, 7);
    produce(buffer, 8);
    EXPECT_EQ(fetcher.tags, std::vector<int>{7}) << "called once, then removed itself";
    EXPECT_EQ(after.calls, 2) << "the observer after the leaving one is still called";
}

TEST(FrameBufferTest, CounterSettingCountsEveryCommitBeforeTheFrameIsQueued) {
    FrameBuffer buffer;
    ZmCoreLib::ISettingIterator* settings = buffer.GetSettings();
    ASSERT_FALSE(settings->IsDone());
    ZmCoreLib::ISetting* counter = settings->Current();
    settings->Next();
    EXPECT_TRUE(settings->IsDone()) << "the counter is the buffer's only setting";
    settings->Release();
    EXPECT_EQ(counter->GetId(), ZmCoreLib::ids::kFrameCounter);
    EXPECT_EQ(counter->GetType(), ZmCoreLib::kKindString);
    EXPECT_EQ(counter->GetGroup(), ZmCoreLib::kGroupInformation);
    EXPECT_EQ(std::u16string(counter->GetName()), u"Введено кадров");
    EXPECT_EQ(counterText(buffer), u"0");

    // The counter's observer runs on the producer's thread before the frame is queued.
    struct CounterObserver : ZmCoreLib::ISettingObserver {
        explicit CounterObserver(FrameBuffer& b) : buffer(b) {}
        void OnSettingChanged(ZmCoreLib::ISetting* setting) override {
            texts.emplace_back(setting->GetString()->GetValue());
            frameAlreadyQueued = frameAlreadyQueued || buffer.GetFrame() != nullptr;
        }
        FrameBuffer& buffer;
        std::vector<std::u16string> texts;
        bool frameAlreadyQueued = false;
    } observer(buffer);
    counter->AddObserver(&observer);

    IMemBlock* first = buffer.Allocate(4);
    ASSERT_TRUE(first->Commit());
    EXPECT_EQ(observer.texts, std::vector<std::u16string>{u"1"});
    EXPECT_FALSE(observer.frameAlreadyQueued);
    counter->RemoveObserver(&observer);

    // A commit the ready queue refuses still counts. With all four frames ready the queue is
    // full: committing one of them again is refused, leaving the pool as it was.
    for (int tag = 2; tag <= FrameBuffer::kFrameCount; ++tag) produce(buffer, tag);
    EXPECT_FALSE(first->Commit());
    EXPECT_EQ(counterText(buffer), u"5");
    EXPECT_TRUE(buffer.Reset());
}

struct ResetCase {
    const char* name;
    int ready;    // committed, not fetched
    int busy;     // fetched by a consumer, not released
    int filling;  // allocated by the producer, not committed
    bool throws;
    friend void PrintTo(const ResetCase& c, std::ostream* out) { *out << c.name; }
};

class FrameBufferResetTest : public testing::TestWithParam<ResetCase> {};

// Reset returns every ready frame to the pool; a frame still held by either side is reported.
TEST_P(FrameBufferResetTest, ReadyFramesReturnAndHeldFramesAreReported) {
    const ResetCase& c = GetParam();
    FrameBuffer buffer;
    for (int i = 0; i < c.busy + c.ready; ++i) produce(buffer, i);
    for (int i = 0; i < c.busy; ++i) ASSERT_NE(buffer.GetFrame(), nullptr);
    for (int i = 0; i < c.filling; ++i) ASSERT_NE(buffer.Allocate(1), nullptr);

    if (c.throws) {
        try {
            buffer.Reset();
            ADD_FAILURE() << "Reset with a held frame must throw";
        } catch (const ZmCoreLib::FrameBufferException& error) {
            EXPECT_EQ(error.message(), u"Есть занятый кадр");
        }
    } else {
        EXPECT_TRUE(buffer.Reset());
    }
    EXPECT_EQ(buffer.GetFrame(), nullptr) << "ready frames are dropped unread";
    EXPECT_EQ(allocateAll(buffer), FrameBuffer::kFrameCount - c.busy - c.filling)
        << "every ready frame went back to the pool";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameBufferResetTest,
    testing::Values(ResetCase{"Empty", 0, 0, 0, false}, ResetCase{"TwoReady", 2, 0, 0, false},
                    ResetCase{"FourReady", 4, 0, 0, false}, ResetCase{"OneBusyTwoReady", 2, 1, 0, true},
                    ResetCase{"OneFilling", 0, 0, 1, true}, ResetCase{"BusyFillingAndReady", 1, 1, 1, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FrameBufferResetTest, FramesHeldAtResetAreUsableAfterwards) {
    FrameBuffer buffer;
    produce(buffer, 1);
    IFrame* held = buffer.GetFrame();
    EXPECT_THROW(buffer.Reset(), ZmCoreLib::FrameBufferException);
    ASSERT_TRUE(held->Release());
    EXPECT_TRUE(buffer.Reset());
    EXPECT_EQ(allocateAll(buffer), FrameBuffer::kFrameCount);
}

// A producer and a consumer thread, as a camera's repacking thread and a client: every frame
// arrives once, in commit order, with its content intact, and all four frames are accounted for
// afterwards.
TEST(FrameBufferThreadsTest, ProducerAndConsumerHandOverEveryFrameInOrder) {
    constexpr int kFrames = 2000;
    constexpr int kFrameBytes = 4096;
    FrameBuffer buffer;

    struct WakeUp : ZmCoreLib::IFrameBufferObserver {
        void OnFrameReady(int) override { ready.set(); }
        Event ready{ResetMode::Auto};
    } wakeUp;
    buffer.AddObserver(&wakeUp);

    std::atomic<bool> failed{false};
    std::thread producer([&] {
        for (int number = 0; number < kFrames && !failed;) {
            auto* frame = static_cast<FrameMemBlock*>(buffer.Allocate(kFrameBytes));
            if (!frame) {  // the consumer still holds every frame: try again
                std::this_thread::yield();
                continue;
            }
            std::memset(frame->GetData(), number & 0xFF, kFrameBytes);
            frame->SetFormat(64, 32, 16);
            frame->SetTag(number++);
            if (!frame->Commit()) failed = true;
        }
    });

    std::vector<int> received;
    int damaged = 0;
    while (static_cast<int>(received.size()) < kFrames && !failed) {
        IFrame* frame = buffer.GetFrame();
        if (!frame) {
            if (wakeUp.ready.wait(kGenerousMs) != WaitResult::Signalled && !buffer.GetFrame()) failed = true;
            continue;
        }
        const int number = frame->GetTag();
        const auto* bytes = static_cast<const std::uint8_t*>(frame->GetData());
        int width = 0, height = 0, bitsPerPixel = 0;
        frame->GetFormat(&width, &height, &bitsPerPixel);
        if (!bytes || bytes[0] != (number & 0xFF) || bytes[kFrameBytes - 1] != (number & 0xFF) || width != 64)
            ++damaged;
        received.push_back(number);
        if (!frame->Release()) failed = true;
    }
    producer.join();
    buffer.RemoveObserver(&wakeUp);

    ASSERT_FALSE(failed);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) ASSERT_EQ(received[i], i) << "out of order at " << i;
    EXPECT_EQ(damaged, 0);
    EXPECT_EQ(counterText(buffer), std::u16string(u"2000"));
    EXPECT_TRUE(buffer.Reset()) << "a frame went missing";
    EXPECT_EQ(allocateAll(buffer), FrameBuffer::kFrameCount);
}

}  // namespace
