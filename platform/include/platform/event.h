// Events, bounded waits and the process-local mutex used by every thread of the system.
//
// An Event is signalled or not. A manual-reset event stays signalled until reset() and releases
// every waiter; an auto-reset event releases exactly one waiter and returns to non-signalled.
// All operations are safe from any thread. Waits block the caller for at most the given time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/export.h"

namespace platform {

enum class WaitResult { Signalled, TimedOut, Failed };

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

enum class ResetMode { Manual, Auto };

class ZM_PLATFORM_API Event {
public:
    explicit Event(ResetMode mode, bool initiallySignalled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // Zero polls; kWaitForever blocks until signalled.
    WaitResult wait(std::uint32_t timeoutMs);

private:
    friend WaitResult waitForEither(Event&, Event&, std::uint32_t, int*);
    struct Waiter;
    bool consumeLocked();

    const ResetMode mode_;
    std::mutex mutex_;  // guards signalled_ and waiters_
    std::condition_variable changed_;
    bool signalled_;
    std::vector<Waiter*> waiters_;  // multi-event waiters to wake on set()
};

// Waits until one of two events is signalled and consumes it when it is auto-reset.
// *signalledIndex (when not null) receives 0 for `first`, 1 for `second`; when both are
// signalled, `first` wins. The two events must be distinct objects.
ZM_PLATFORM_API WaitResult waitForEither(Event& first, Event& second, std::uint32_t timeoutMs,
                                         int* signalledIndex = nullptr);

// A process-local lock whose acquisition can be bounded. Recursive: the owning thread may take it
// again (and must release it as often), as the camera and repack locks of a device allow.
class ZM_PLATFORM_API Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    WaitResult lock(std::uint32_t timeoutMs);
    void unlock();

private:
    std::recursive_timed_mutex mutex_;
};

// Holds a Mutex taken with a bounded wait for the rest of the scope; owns() says whether it was.
class MutexLock {
public:
    MutexLock(Mutex& mutex, std::uint32_t timeoutMs)
        : mutex_(mutex), owns_(mutex.lock(timeoutMs) == WaitResult::Signalled) {}
    ~MutexLock() {
        if (owns_) mutex_.unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool owns() const { return owns_; }

private:
    Mutex& mutex_;
    bool owns_;
};

// An auto-reset event shared by name with every process of the same user: the POSIX named
// semaphore "/zm-<uid>-<name>", kept at 0 or 1. Only the user's own object is used: one that
// exists already is taken only when this user owns it and no other user may open it, since
// whoever can open it sees and forges its signals. Opening makes the object when it does not
// exist yet, and its last user, in whichever process, removes it again (one that ends without
// running its destructor leaves it to the next user).
//
// Each NamedEvent holds a descriptor of the semaphore's object with a shared lock on it while in
// use; a short exclusive lock of another byte serialises making the object ready, joining it and
// leaving it, so that the last user can tell it is the last and remove the object.
class ZM_PLATFORM_API NamedEvent {
public:
    // Throws nothing; valid() is false and lastError() holds the cause when opening failed
    // (EACCES: the object belongs to another user or other users may open it).
    explicit NamedEvent(const std::string& name);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    bool valid() const;
    // Why the event cannot be used and what to do about it, for a message; empty when valid.
    const std::string& problem() const { return problem_; }
    bool set();
    WaitResult wait(std::uint32_t timeoutMs);

private:
    // One attempt to open the object and map its semaphore: 0, EAGAIN when the object went
    // away meanwhile (its last user removed it), or the failure.
    int open();

    const std::string name_;
    const std::string objectName_;  // of the shared-memory object that holds the semaphore
    int descriptor_ = -1;
    void* semaphore_ = nullptr;  // mapped from the object; null when not valid
    std::string problem_;
};

}  // namespace platform
