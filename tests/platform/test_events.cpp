// Events, waits for either of two events, bounded mutexes and user-wide named events.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
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
    void TearDown() override { sem_unlink(semaphoreName().c_str()); }

    // The POSIX named semaphore that stands for the event.
    std::string semaphoreName() const { return "/zm-" + std::to_string(getuid()) + "-" + name_; }
    bool semaphoreExists() const {
        sem_t* semaphore = sem_open(semaphoreName().c_str(), 0);
        if (semaphore == SEM_FAILED) return false;
        sem_close(semaphore);
        return true;
    }

    const std::string name_ = [] {
        // Parameterised tests are named "Test/Case"; a name of a semaphore holds no slash.
        std::string name = "platform-test-" + std::to_string(getpid()) + "-" +
                           testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        return name;
    }();
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

// A semaphore of the event's name that someone else made first (another user, or open to every
// user) is never adopted: whoever made it could see and forge every signal.
struct ForeignCase {
    const char* name;
    mode_t mode;
    bool otherOwner;  // handed to another user (needs the administrator)
    friend void PrintTo(const ForeignCase& c, std::ostream* out) { *out << c.name; }
};

class ForeignNamedEventTest : public NamedEventTest, public testing::WithParamInterface<ForeignCase> {};

TEST_P(ForeignNamedEventTest, IsRefusedAndLeftUntouched) {
    constexpr uid_t kNobody = 65534;
    if (GetParam().otherOwner && geteuid() != 0) GTEST_SKIP() << "handing a file to another user needs root";
    const mode_t previousMask = umask(0);
    sem_t* planted = sem_open(semaphoreName().c_str(), O_CREAT | O_EXCL, GetParam().mode, 0);
    umask(previousMask);
    ASSERT_NE(planted, SEM_FAILED);
    // Named semaphores live in /dev/shm as "sem.<name>".
    if (GetParam().otherOwner) {
        ASSERT_EQ(chown(("/dev/shm/sem." + semaphoreName().substr(1)).c_str(), kNobody, kNobody), 0);
    }

    platform::setLastError(0);
    platform::NamedEvent event(name_);
    EXPECT_FALSE(event.valid()) << "a foreign semaphore was adopted";
    EXPECT_EQ(platform::lastError(), EACCES);
    EXPECT_NE(event.problem().find(semaphoreName().substr(1)), std::string::npos) << event.problem();
    EXPECT_FALSE(event.set());
    ASSERT_EQ(sem_post(planted), 0);
    EXPECT_EQ(event.wait(0), WaitResult::Failed) << "a foreign signal reached the event";
    int value = -1;
    ASSERT_EQ(sem_getvalue(planted, &value), 0);
    EXPECT_EQ(value, 1);
    sem_close(planted);
    EXPECT_TRUE(semaphoreExists()) << "what somebody else made is not removed";
}

INSTANTIATE_TEST_SUITE_P(Planted, ForeignNamedEventTest,
                         testing::Values(ForeignCase{"OpenToEveryUser", 0666, false},
                                         ForeignCase{"ReadableByOthers", 0644, false},
                                         ForeignCase{"OwnedByAnotherUser", 0600, true}),
                         [](const auto& param) { return std::string(param.param.name); });

// The semaphore goes when its last user in any process ends, not before.
TEST_F(NamedEventTest, TheLastUserRemovesTheEvent) {
    auto first = std::make_unique<platform::NamedEvent>(name_);
    auto second = std::make_unique<platform::NamedEvent>(name_);
    ASSERT_TRUE(first->valid());
    ASSERT_TRUE(second->valid());
    first.reset();
    EXPECT_TRUE(semaphoreExists()) << "removed while in use";
    second.reset();
    EXPECT_FALSE(semaphoreExists()) << "left behind by its last user";

    // The same across processes: the child is the last user.
    auto parents = std::make_unique<platform::NamedEvent>(name_);
    ASSERT_TRUE(parents->valid());
    int ready[2];
    int proceed[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(proceed), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        char byte = 0;
        bool ok = false;
        {
            platform::NamedEvent childs(name_);
            ok = childs.valid() && write(ready[1], "r", 1) == 1 && read(proceed[0], &byte, 1) == 1;
        }
        _exit(ok ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    parents.reset();
    EXPECT_TRUE(semaphoreExists()) << "removed while the other process uses it";
    ASSERT_EQ(write(proceed[1], "p", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(semaphoreExists()) << "left behind by its last user";
    for (int fd : {ready[0], ready[1], proceed[0], proceed[1]}) close(fd);
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
