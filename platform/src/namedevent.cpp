#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/error.h"
#include "platform/event.h"

namespace platform {

namespace {

// An object may go between being opened and being guarded when its last user leaves meanwhile;
// each attempt after that finds it gone or made anew.
constexpr int kOpenAttempts = 8;
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;
constexpr mode_t kOtherUsers = S_IRWXG | S_IRWXO;

// The C library keeps the named semaphore "/<name>" as the shared-memory object "/sem.<name>":
// programs that open the semaphore by its name meet this same object.
std::string objectNameOf(const std::string& name) {
    return "/sem.zm-" + std::to_string(getuid()) + "-" + name;
}

sem_t* asSemaphore(void* handle) {
    return static_cast<sem_t*>(handle);
}

// Two byte-range locks on the object, held per open file description (so that the users within
// one process are told apart too): the guard, held briefly and exclusively, serialises making the
// object ready, joining it and leaving it; the user lock is held shared by every user for as long
// as it uses the event, so that the one leaving can tell whether it is the last.
constexpr off_t kGuardByte = 0;
constexpr off_t kUserByte = 1;

bool lockByte(int descriptor, off_t byte, short type, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    int result;
    do result = fcntl(descriptor, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

// Lets go of the locks, then closes: a child process may hold a copy of the descriptor, which
// would keep the locks of its open file description alive.
void release(int descriptor) {
    struct flock everything {};
    everything.l_type = F_UNLCK;
    everything.l_whence = SEEK_SET;
    fcntl(descriptor, F_OFD_SETLK, &everything);
    close(descriptor);
}

// Releases a descriptor at the end of the scope unless it was kept.
struct DescriptorGuard {
    int descriptor;
    ~DescriptorGuard() {
        if (descriptor >= 0) release(descriptor);
    }
};

std::string describe(const std::string& name, const std::string& objectName, int error) {
    const std::string event = "The event \"" + name + "\" that this user's camera programs share";
    // Shared-memory objects live in /dev/shm.
    const std::string file = "/dev/shm" + objectName;
    if (error == EACCES)
        return event + " is not used: " + file +
               " belongs to another user or other users may open it, so they could see and forge its "
               "signals. Remove that file (it may take the administrator), then start the program again.";
    return event + " cannot be opened (" + file + ": " + errorText(error) +
           "). Check that /dev/shm is mounted and writable, then start the program again.";
}

}  // namespace

NamedEvent::NamedEvent(const std::string& name) : name_(name), objectName_(objectNameOf(name)) {
    int error = EAGAIN;
    for (int attempt = 0; attempt < kOpenAttempts && error == EAGAIN; ++attempt) error = open();
    if (error == 0) return;
    setLastError(error);
    problem_ = describe(name_, objectName_, error);
}

int NamedEvent::open() {
    int descriptor = shm_open(objectName_.c_str(), O_RDWR | O_CREAT | O_EXCL, kOwnerOnly);
    if (descriptor < 0 && errno == EEXIST) descriptor = shm_open(objectName_.c_str(), O_RDWR, 0);
    if (descriptor < 0) return errno == ENOENT ? EAGAIN : errno;
    DescriptorGuard guard{descriptor};
    struct stat status {};
    if (fstat(descriptor, &status) != 0) return errno;
    if (!S_ISREG(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & kOtherUsers) != 0)
        return EACCES;

    // Releasing the descriptor on a failure below lets go of the guard too.
    if (!lockByte(descriptor, kGuardByte, F_WRLCK, true)) return errno;
    if (fstat(descriptor, &status) != 0) return errno;
    if (status.st_nlink == 0) return EAGAIN;
    const bool fresh = status.st_size == 0;
    if (!fresh && status.st_size != static_cast<off_t>(sizeof(sem_t))) return EINVAL;
    if (fresh && ftruncate(descriptor, sizeof(sem_t)) != 0) return errno;
    void* mapping = mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (mapping == MAP_FAILED) return errno;
    if ((fresh && sem_init(asSemaphore(mapping), 1, 0) != 0) ||
        !lockByte(descriptor, kUserByte, F_RDLCK, true)) {
        const int error = errno;
        munmap(mapping, sizeof(sem_t));
        return error;
    }
    lockByte(descriptor, kGuardByte, F_UNLCK, false);
    descriptor_ = descriptor;
    guard.descriptor = -1;
    semaphore_ = mapping;
    return 0;
}

NamedEvent::~NamedEvent() {
    if (!semaphore_) return;
    // Under the guard nobody joins or leaves meanwhile. The own user lock goes first, so that the
    // user lock can be had exclusively exactly when no other user holds it: then this is the last.
    struct stat status {};
    if (lockByte(descriptor_, kGuardByte, F_WRLCK, true)) {
        lockByte(descriptor_, kUserByte, F_UNLCK, false);
        if (lockByte(descriptor_, kUserByte, F_WRLCK, false) && fstat(descriptor_, &status) == 0 &&
            status.st_nlink > 0)
            shm_unlink(objectName_.c_str());
    }
    munmap(semaphore_, sizeof(sem_t));
    release(descriptor_);
}

bool NamedEvent::valid() const {
    return semaphore_ != nullptr;
}

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
