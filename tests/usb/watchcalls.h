// Counts the calls of a driver's watch callback, which come on a thread of the driver's own; the
// test thread waits for the next one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace ZmCoreLib_v4::testing_support {

class WatchCalls {
public:
    // The callback to watch with; it must not outlive this object.
    std::function<void()> callback() {
        return [this] {
            std::lock_guard lock(mutex_);
            ++count_;
            called_.notify_all();
        };
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    // True once a call has come after the `seen`th, waiting at most a generous five seconds.
    bool waitBeyond(int seen) {
        std::unique_lock lock(mutex_);
        return called_.wait_for(lock, std::chrono::seconds(5), [&] { return count_ > seen; });
    }

private:
    std::mutex mutex_;
    std::condition_variable called_;
    int count_ = 0;
};

}  // namespace ZmCoreLib_v4::testing_support
