// Work run side by side: every task runs, each on a thread of its own, all have ended when the
// call returns, and a failure reaches the caller only then.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/concurrently.h"

namespace {

using namespace std::chrono_literals;

TEST(RunConcurrently, RunsEveryTaskOnAThreadOfItsOwnAtTheSameTime) {
    constexpr std::size_t kTasks = 4;
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::vector<int> ran(kTasks, 0);
    std::atomic<std::size_t> arrived{0};
    std::atomic<bool> allMet{true};
    platform::runConcurrently(kTasks, [&](std::size_t i) {
        {
            std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        ++ran[i];
        // Every task waits (bounded) for all the others: run one after another they never meet.
        ++arrived;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (arrived < kTasks && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        if (arrived < kTasks) allMet = false;
    });
    EXPECT_EQ(ran, std::vector<int>(kTasks, 1));
    EXPECT_EQ(threads.size(), kTasks);
    EXPECT_TRUE(allMet) << "the tasks did not run at the same time";
}

TEST(RunConcurrently, RethrowsTheFirstFailureOnceEveryTaskHasEnded) {
    std::atomic<int> ended{0};
    try {
        platform::runConcurrently(3, [&](std::size_t i) {
            if (i == 2) {
                std::this_thread::sleep_for(50ms);
                ++ended;
                throw std::runtime_error("task 2");
            }
            if (i == 1) {
                ++ended;
                throw std::runtime_error("task 1");
            }
            std::this_thread::sleep_for(100ms);
            ++ended;
        });
        ADD_FAILURE() << "no failure reached the caller";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "task 1");
    }
    EXPECT_EQ(ended, 3);
}

TEST(RunConcurrently, NoTaskRunsNothing) {
    bool ran = false;
    platform::runConcurrently(0, [&](std::size_t) { ran = true; });
    EXPECT_FALSE(ran);
}

}  // namespace
