// The bandwidth of the simulated USB bus, shared by every camera on it.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

namespace simulator {

class BusClock {
public:
    // `rateMBps` megabytes (10^6 bytes) per second; 0: no limit.
    explicit BusClock(unsigned rateMBps);

    // Books the bus for `bytes` after everything booked before and returns the moment that
    // transfer has finished on the bus (now when there is no limit). Never blocks. Any thread.
    std::chrono::steady_clock::time_point reserve(std::size_t bytes);

private:
    const double nanosecondsPerByte_;
    std::mutex mutex_;  // guards freeAt_
    std::chrono::steady_clock::time_point freeAt_;
};

}  // namespace simulator
