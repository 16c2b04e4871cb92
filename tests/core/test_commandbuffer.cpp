// The command buffer: pending ids in last-in first-out order, and the two-class lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "hardware/commandbuffer.h"

namespace {

using ZmCoreLib_v4::CommandBuffer;

constexpr int kWriter = CommandBuffer::kWriterClass;
constexpr int kSetter = CommandBuffer::kSetterClass;

std::vector<int> drain(CommandBuffer& buffer) {
    std::vector<int> ids;
    for (int id = buffer.Pop(); id != 0; id = buffer.Pop()) ids.push_back(id);
    return ids;
}

TEST(CommandBufferTest, PendingIdsComeOutLastInFirstOutWithoutDuplicates) {
    CommandBuffer buffer;
    EXPECT_TRUE(buffer.IsEmpty());
    buffer.Push(0x3004);
    buffer.Push(0x3002);
    buffer.Push(0x3004);  // already pending: written once, with its latest value
    buffer.Push(0);       // 0 means "nothing pending" and is never recorded
    EXPECT_FALSE(buffer.IsEmpty());
    EXPECT_EQ(drain(buffer), (std::vector<int>{0x3002, 0x3004}));
    EXPECT_TRUE(buffer.IsEmpty());
    EXPECT_EQ(buffer.Pop(), 0);
}

struct LockCase {
    const char* name;
    std::vector<int> holders;  // classes holding the lock before the attempt
    int holderClass;
    int tries;
    bool taken;
    friend void PrintTo(const LockCase& c, std::ostream* out) { *out << c.name; }
};

class CommandBufferLockTest : public testing::TestWithParam<LockCase> {};

TEST_P(CommandBufferLockTest, ClassesShareWithThemselvesAndExcludeEachOther) {
    const LockCase& c = GetParam();
    CommandBuffer buffer;
    for (int holder : c.holders) ASSERT_TRUE(buffer.Lock(holder, 1));
    EXPECT_EQ(buffer.Lock(c.holderClass, c.tries), c.taken);

    // Once every holding is released, the lock is free for either class.
    const std::size_t holdings = c.holders.size() + (c.taken ? 1 : 0);
    for (std::size_t i = 0; i < holdings; ++i) buffer.Unlock();
    const int otherClass = c.holderClass == kWriter ? kSetter : kWriter;
    EXPECT_TRUE(buffer.Lock(otherClass, 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandBufferLockTest,
                         testing::Values(LockCase{"FreeTakenByWriter", {}, kWriter, 1, true},
                                         LockCase{"FreeTakenBySetter", {}, kSetter, 1, true},
                                         LockCase{"WritersShare", {kWriter, kWriter}, kWriter, 1, true},
                                         LockCase{"SettersShare", {kSetter, kSetter}, kSetter, 1, true},
                                         LockCase{"SetterKeepsWriterOut", {kSetter}, kWriter, 2, false},
                                         LockCase{"WriterKeepsSetterOut", {kWriter}, kSetter, 1000, false},
                                         LockCase{"ZeroTriesTryOnce", {kSetter}, kWriter, 0, false},
                                         LockCase{"NegativeTriesTryOnce", {kWriter}, kSetter, -5, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(CommandBufferTest, UnlockReleasesOneHoldingAndNothingWhenFree) {
    CommandBuffer buffer;
    buffer.Unlock();  // free: nothing changes, so both classes can still take it
    ASSERT_TRUE(buffer.Lock(kWriter, 1));
    buffer.Unlock();
    ASSERT_TRUE(buffer.Lock(kSetter, 1));
    ASSERT_TRUE(buffer.Lock(kSetter, 1));
    buffer.Unlock();
    EXPECT_FALSE(buffer.Lock(kWriter, 2)) << "the other setter still holds the lock";
    buffer.Unlock();
    EXPECT_TRUE(buffer.Lock(kWriter, 2));
}

// The setting side runs on several client threads at once: a holder on one thread does not keep
// another setter out, but keeps the camera thread out until it lets go.
TEST(CommandBufferTest, SettersOnDifferentThreadsHoldTogetherAndKeepTheWriterOut) {
    CommandBuffer buffer;
    ASSERT_TRUE(buffer.Lock(kSetter, 1));
    EXPECT_TRUE(std::async(std::launch::async, [&] { return buffer.Lock(kSetter, 1); }).get());
    EXPECT_FALSE(std::async(std::launch::async, [&] { return buffer.Lock(kWriter, 2); }).get());
    buffer.Unlock();
    buffer.Unlock();
    EXPECT_TRUE(std::async(std::launch::async, [&] { return buffer.Lock(kWriter, 2); }).get());
}

// Setter threads push ids under class 1 while a writer thread drains them under class 0, as
// client threads and the camera thread do. Inside the lock every holder checks that no holder
// of the other class is inside too; every id pushed must come out exactly once.
TEST(CommandBufferTest, ContendedLockKeepsClassesApartAndLosesNoId) {
    constexpr int kSetterThreads = 3;
    constexpr int kIdsPerSetter = 300;
    CommandBuffer buffer;
    std::atomic<int> inside[2] = {0, 0};
    std::atomic<int> overlaps{0};
    std::atomic<int> settersDone{0};

    auto enter = [&](int holderClass) {
        ++inside[holderClass];
        if (inside[1 - holderClass] != 0) ++overlaps;
    };
    auto leave = [&](int holderClass) {
        if (inside[1 - holderClass] != 0) ++overlaps;
        --inside[holderClass];
    };

    std::vector<std::thread> setters;
    for (int t = 0; t < kSetterThreads; ++t)
        setters.emplace_back([&, t] {
            for (int i = 1; i <= kIdsPerSetter;) {
                if (!buffer.Lock(kSetter, 1000)) continue;
                enter(kSetter);
                buffer.Push(t * 10000 + i++);
                std::this_thread::yield();
                leave(kSetter);
                buffer.Unlock();
            }
            ++settersDone;
        });

    std::map<int, int> popped;
    std::thread writer([&] {
        for (;;) {
            const bool last = settersDone == kSetterThreads;
            if (!buffer.IsEmpty() && buffer.Lock(kWriter, 2)) {
                enter(kWriter);
                for (int id : drain(buffer)) ++popped[id];
                leave(kWriter);
                buffer.Unlock();
            } else if (last) {
                return;
            }
            std::this_thread::yield();
        }
    });
    for (auto& setter : setters) setter.join();
    writer.join();

    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(popped.size(), static_cast<std::size_t>(kSetterThreads * kIdsPerSetter));
    EXPECT_TRUE(
        std::all_of(popped.begin(), popped.end(), [](const auto& entry) { return entry.second == 1; }));
    EXPECT_TRUE(buffer.IsEmpty());
}

}  // namespace
