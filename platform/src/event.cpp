#include "platform/event.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "platform/error.h"

namespace platform {

// A thread waiting in waitForEither: registered with both events so that set() on either wakes it.
struct Event::Waiter {
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
};

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(std::uint32_t timeoutMs) {
    return timeoutMs == kWaitForever ? Clock::time_point::max()
                                     : Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

Event::Event(ResetMode mode, bool initiallySignalled) : mode_(mode), signalled_(initiallySignalled) {}

void Event::set() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    if (mode_ == ResetMode::Manual)
        changed_.notify_all();
    else
        changed_.notify_one();
    for (Waiter* waiter : waiters_) {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->signalled = true;
        waiter->woken.notify_one();
    }
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::consumeLocked() {
    if (!signalled_) return false;
    if (mode_ == ResetMode::Auto) signalled_ = false;
    return true;
}

WaitResult Event::wait(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    const auto deadline = deadlineAfter(timeoutMs);
    while (!consumeLocked()) {
        if (deadline == Clock::time_point::max())
            changed_.wait(lock);
        else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !signalled_)
            return WaitResult::TimedOut;
    }
    return WaitResult::Signalled;
}

WaitResult waitForEither(Event& first, Event& second, std::uint32_t timeoutMs, int* signalledIndex) {
    if (&first == &second) {
        setLastError(EINVAL);
        return WaitResult::Failed;
    }
    const auto deadline = deadlineAfter(timeoutMs);
    Event::Waiter waiter;
    for (;;) {
        {
            std::scoped_lock both(first.mutex_, second.mutex_);
            for (int index = 0; index < 2; ++index) {
                Event& event = index == 0 ? first : second;
                if (event.consumeLocked()) {
                    if (signalledIndex) *signalledIndex = index;
                    return WaitResult::Signalled;
                }
            }
            if (Clock::now() >= deadline) return WaitResult::TimedOut;
            first.waiters_.push_back(&waiter);
            second.waiters_.push_back(&waiter);
            waiter.signalled = false;
        }
        {
            std::unique_lock lock(waiter.mutex);
            if (deadline == Clock::time_point::max())
                waiter.woken.wait(lock, [&] { return waiter.signalled; });
            else
                waiter.woken.wait_until(lock, deadline, [&] { return waiter.signalled; });
        }
        std::scoped_lock both(first.mutex_, second.mutex_);
        for (Event* event : {&first, &second}) std::erase(event->waiters_, &waiter);
    }
}

WaitResult Mutex::lock(std::uint32_t timeoutMs) {
    if (timeoutMs == kWaitForever) {
        mutex_.lock();
        return WaitResult::Signalled;
    }
    // pthread_mutex_timedlock rather than try_lock_for: libstdc++ implements the latter with
    // pthread_mutex_clocklock, which ThreadSanitizer does not intercept, so every bounded lock
    // would show up as an unlock of an unlocked mutex in the sanitizer builds.
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    const int result = pthread_mutex_timedlock(mutex_.native_handle(), &deadline);
    if (result == 0) return WaitResult::Signalled;
    if (result == ETIMEDOUT) return WaitResult::TimedOut;
    setLastError(result);
    return WaitResult::Failed;
}

void Mutex::unlock() {
    mutex_.unlock();
}

}  // namespace platform
