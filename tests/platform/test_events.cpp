// Events, waits for either of two events, bounded mutexes and user-wide named events.
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/event.h"

namespace {

using platform::Event;
using platform::ResetMode;
using platform::WaitResult;

// Long enough never to expire on a loaded machine; only reached when a test fails.
constexpr std::uint32_t kGenerousMs = 5000;
constexpr std::uint32_t kShortMs = 20;

struct ResetCase {
    const char* name;
    ResetMode mode;
    WaitResult secondPoll;  // a poll after one wait has consumed (or not) the signal
    friend void PrintTo(const ResetCase& c, std::ostream* out) { *out << c.name; }
};

class EventResetTest : public testing::TestWithParam<ResetCase> {};

TEST_P(EventResetTest, SignalIsKeptOrConsumedByTheFirstWait) {
    Event event(GetParam().mode);
    EXPECT_EQ(event.wait(0), WaitResult::TimedOut);
    event.set();
    EXPECT_EQ(event.wait(0), WaitResult::Signalled);
    EXPECT_EQ(event.wait(0), GetParam().secondPoll);
    event.set();
    event.reset();
    EXPECT_EQ(event.wait(kShortMs), WaitResult::TimedOut);
}

INSTANTIATE_TEST_SUITE_P(Modes, EventResetTest,
                         testing::Values(ResetCase{"Manual", ResetMode::Manual, WaitResult::Signalled},
                                         ResetCase{"Auto", ResetMode::Auto, WaitResult::TimedOut}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(EventTest, InitiallySignalledManualEventReleasesAtOnce) {
    Event event(ResetMode::Manual, true);
    EXPECT_EQ(event.wait(0), WaitResult::Signalled);
}

// Two threads blocked on one event: a manual-reset set releases both, an auto-reset set exactly one.
TEST(EventTest, SetReleasesEveryWaiterOfManualButOneWaiterOfAuto) {
    for (ResetMode mode : {ResetMode::Manual, ResetMode::Auto}) {
        Event event(mode);
        std::atomic<int> waiting{0};
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 2; ++i)
            waiters.emplace_back([&] {
                ++waiting;
                if (event.wait(kGenerousMs) == WaitResult::Signalled) ++released;
            });
        while (waiting < 2) std::this_thread::yield();
        event.set();
        if (mode == ResetMode::Auto) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
            while (released == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            // Give the second waiter every chance to be (wrongly) released before counting.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(released, 1);
            event.set();  // lets the other waiter go
        }
        for (auto& waiter : waiters) waiter.join();
        EXPECT_EQ(released, 2);
    }
}

TEST(WaitForEitherTest, ReportsWhichEventWasSignalledAndConsumesAutoReset) {
    Event first(ResetMode::Manual);
    Event second(ResetMode::Auto);
    int index = -1;

    second.set();
    EXPECT_EQ(platform::waitForEither(first, second, 0, &index), WaitResult::Signalled);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(second.wait(0), WaitResult::TimedOut) << "the auto-reset event must be consumed";

    first.set();
    second.set();
    EXPECT_EQ(platform::waitForEither(first, second, 0, &index), WaitResult::Signalled);
    EXPECT_EQ(index, 0) << "the first event wins when both are signalled";
    EXPECT_EQ(second.wait(0), WaitResult::Signalled) << "the second event must stay untouched";
    EXPECT_EQ(first.wait(0), WaitResult::Signalled) << "a manual-reset event is not consumed";
}

TEST(WaitForEitherTest, TimesOutWhenNeitherIsSignalled) {
    Event first(ResetMode::Manual);
    Event second(ResetMode::Auto);
    int index = -1;
    EXPECT_EQ(platform::waitForEither(first, second, kShortMs, &index), WaitResult::TimedOut);
    EXPECT_EQ(index, -1);
}

TEST(WaitForEitherTest, WakesWhenAnotherThreadSetsEitherEvent) {
    for (int which = 0; which < 2; ++which) {
        Event first(ResetMode::Auto);
        Event second(ResetMode::Manual);
        int index = -1;
        auto waiting = std::async(
            std::launch::async, [&] { return platform::waitForEither(first, second, kGenerousMs, &index); });
        std::this_thread::sleep_for(std::chrono::milliseconds(kShortMs));
        (which == 0 ? first : second).set();
        EXPECT_EQ(waiting.get(), WaitResult::Signalled);
        EXPECT_EQ(index, which);
    }
}

TEST(WaitForEitherTest, SameEventTwiceFailsWithInvalidArgument) {
    Event event(ResetMode::Manual, true);
    platform::setLastError(0);
    EXPECT_EQ(platform::waitForEither(event, event, 0), WaitResult::Failed);
    EXPECT_EQ(platform::lastError(), EINVAL);
}

TEST(MutexTest, OwnerRelocksWhileOtherThreadsTimeOut) {
    platform::Mutex mutex;
    ASSERT_EQ(mutex.lock(0), WaitResult::Signalled);
    ASSERT_EQ(mutex.lock(0), WaitResult::Signalled) << "the owner may take it again";
    auto other = std::async(std::launch::async, [&] {
        platform::MutexLock lock(mutex, kShortMs);
        return lock.owns();
    });
    EXPECT_FALSE(other.get());
    mutex.unlock();
    mutex.unlock();
    other = std::async(std::launch::async, [&] {
        platform::MutexLock lock(mutex, kGenerousMs);
        return lock.owns();
    });
    EXPECT_TRUE(other.get());
}

// Named events live in the kernel beyond the process; each test uses a name of its own and
// removes it again, so nothing carries over between runs.
class NamedEventTest : public testing::Test {
protected:
    void TearDown() override { sem_unlink(("/zm-" + std::to_string(getuid()) + "-" + name_).c_str()); }

    const std::string name_ = "platform-test-" + std::to_string(getpid()) + "-" +
                              testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(NamedEventTest, TwoObjectsOfOneNameShareOneAutoResetEvent) {
    platform::NamedEvent setter(name_);
    platform::NamedEvent waiter(name_);
    ASSERT_TRUE(setter.valid());
    ASSERT_TRUE(waiter.valid());
    EXPECT_EQ(waiter.wait(0), WaitResult::TimedOut);

    ASSERT_TRUE(setter.set());
    ASSERT_TRUE(setter.set()) << "setting a signalled event keeps it signalled once";
    EXPECT_EQ(waiter.wait(kGenerousMs), WaitResult::Signalled);
    EXPECT_EQ(setter.wait(kShortMs), WaitResult::TimedOut) << "one wait consumes the signal";
}

TEST_F(NamedEventTest, AnotherProcessSeesTheSignal) {
    platform::NamedEvent waiter(name_);
    ASSERT_TRUE(waiter.valid());
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        platform::NamedEvent setter(name_);
        _exit(setter.valid() && setter.set() ? 0 : 1);
    }
    EXPECT_EQ(waiter.wait(kGenerousMs), WaitResult::Signalled);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(NamedEventTest, UnusableNameIsReportedNotThrown) {
    platform::setLastError(0);
    platform::NamedEvent event("no/slashes/allowed");
    EXPECT_FALSE(event.valid());
    EXPECT_NE(platform::lastError(), 0);
    EXPECT_FALSE(event.set());
    EXPECT_EQ(event.wait(0), WaitResult::Failed);
}

}  // namespace
