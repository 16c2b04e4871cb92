#include "platform/newfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/error.h"

namespace platform {

namespace {

constexpr mode_t kFileMode = 0644;  // the process's umask applies
constexpr int kHiddenNameAttempts = 16;

// A hidden name beside `path` that no other writer picks: a random part and a process-wide count.
std::string hiddenNameBeside(const std::string& path) {
    static std::atomic<unsigned> count{0};
    thread_local std::minstd_rand random{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%04x", static_cast<unsigned>(random()), count++ & 0xFFFFu);
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + suffix;
}

}  // namespace

NewFile::~NewFile() {
    discard();
}

bool NewFile::create(const std::string& path) {
    discard();
    for (int attempt = 0; attempt < kHiddenNameAttempts; ++attempt) {
        std::string hidden = hiddenNameBeside(path);
        const int fd = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        if (fd >= 0) {
            fd_ = fd;
            path_ = path;
            hiddenPath_ = std::move(hidden);
            size_ = 0;
            writeError_ = 0;
            return true;
        }
        if (errno != EEXIST) break;
    }
    setLastError(errno);
    return false;
}

bool NewFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || writeError_ != 0) {
        setLastError(fd_ < 0 ? EBADF : writeError_);
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        // A write that takes nothing without saying why would repeat for ever.
        if (written <= 0) {
            writeError_ = written < 0 ? errno : EIO;
            setLastError(writeError_);
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        size_ += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool NewFile::publish() {
    if (fd_ < 0) {
        setLastError(EBADF);
        return false;
    }
    int error = writeError_;
    // Some file systems (NFS, for one) tell of a full disk only when the file is closed.
    if (::close(std::exchange(fd_, -1)) != 0 && error == 0) error = errno;
    if (error == 0) {
        if (::renameat2(AT_FDCWD, hiddenPath_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0) {
            hiddenPath_.clear();
            return true;
        }
        error = errno;
        // A file system that cannot rename without replacing may still link a second name.
        if (error == EINVAL) error = ::link(hiddenPath_.c_str(), path_.c_str()) == 0 ? 0 : errno;
    }
    discard();
    if (error != 0) setLastError(error);
    return error == 0;
}

void NewFile::discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!hiddenPath_.empty()) ::unlink(hiddenPath_.c_str());
    hiddenPath_.clear();
}

}  // namespace platform
