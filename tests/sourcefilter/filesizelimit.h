// A full disk for the length of a scope: files of this process cannot grow beyond `bytes`, and a
// write past the limit fails with EFBIG instead of raising SIGXFSZ. The previous limit and signal
// disposition come back when the scope ends. The limit holds for every thread of the process.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace ZmCoreLib_v4::testing_support {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
};

}  // namespace ZmCoreLib_v4::testing_support
