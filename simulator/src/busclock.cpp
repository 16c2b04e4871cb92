#include "simulator/busclock.h"

#include <algorithm>

namespace simulator {

BusClock::BusClock(unsigned rateMBps) : nanosecondsPerByte_(rateMBps == 0 ? 0.0 : 1000.0 / rateMBps) {}

std::chrono::steady_clock::time_point BusClock::reserve(std::size_t bytes,
                                                        std::chrono::steady_clock::time_point ready) {
    if (nanosecondsPerByte_ == 0.0) return ready;
    const auto duration = std::chrono::nanoseconds(static_cast<long long>(bytes * nanosecondsPerByte_));
    std::lock_guard lock(mutex_);
    freeAt_ = std::max(freeAt_, ready) + duration;
    return freeAt_;
}

}  // namespace simulator
