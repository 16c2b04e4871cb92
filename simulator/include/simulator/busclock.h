// The bandwidth of the simulated USB bus, shared by every camera on it: a model of the wire
// alone. Transfers are booked one after another in the order they are asked for, each starting
// when its bytes were ready or when the wire is free, whichever is later, so the simulator's own
// work (rendering a piece, waking up) is never counted as idle wire.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

namespace simulator {

class BusClock {
public:
    // `rateMBps` megabytes (10^6 bytes) per second; 0: no limit.
    explicit BusClock(unsigned rateMBps);

    // Books the wire for `bytes` from `ready` (the moment the device had them and the host's
    // request was waiting) or from the end of everything booked before, whichever is later, and
    // returns the moment the transfer has finished on the wire (`ready` when there is no limit).
    // Never blocks. Any thread.
    std::chrono::steady_clock::time_point reserve(std::size_t bytes,
                                                  std::chrono::steady_clock::time_point ready);

private:
    const double nanosecondsPerByte_;
    std::mutex mutex_;  // guards freeAt_
    std::chrono::steady_clock::time_point freeAt_;
};

}  // namespace simulator
