#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/error.h"
#include "platform/event.h"

namespace platform {

namespace {

std::string semaphoreName(const std::string& name) {
    return "/zm-" + std::to_string(getuid()) + "-" + name;
}

sem_t* asSemaphore(void* handle) { return static_cast<sem_t*>(handle); }

}  // namespace

NamedEvent::NamedEvent(const std::string& name) {
    sem_t* semaphore = sem_open(semaphoreName(name).c_str(), O_CREAT, 0600, 0);
    if (semaphore == SEM_FAILED) {
        setLastError(errno);
        semaphore = nullptr;
    }
    semaphore_ = semaphore;
}

NamedEvent::~NamedEvent() {
    if (semaphore_) sem_close(asSemaphore(semaphore_));
}

bool NamedEvent::valid() const { return semaphore_ != nullptr; }

bool NamedEvent::set() {
    if (!semaphore_) {
        setLastError(EBADF);
        return false;
    }
    // Auto-reset semantics: a signalled event stays signalled once, however often it is set.
    int value = 0;
    if (sem_getvalue(asSemaphore(semaphore_), &value) == 0 && value > 0) return true;
    if (sem_post(asSemaphore(semaphore_)) != 0) {
        setLastError(errno);
        return false;
    }
    return true;
}

WaitResult NamedEvent::wait(std::uint32_t timeoutMs) {
    if (!semaphore_) {
        setLastError(EBADF);
        return WaitResult::Failed;
    }
    int result;
    if (timeoutMs == kWaitForever) {
        do result = sem_wait(asSemaphore(semaphore_));
        while (result != 0 && errno == EINTR);
    } else {
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        do result = sem_timedwait(asSemaphore(semaphore_), &deadline);
        while (result != 0 && errno == EINTR);
    }
    if (result == 0) return WaitResult::Signalled;
    if (errno == ETIMEDOUT) return WaitResult::TimedOut;
    setLastError(errno);
    return WaitResult::Failed;
}

}  // namespace platform
