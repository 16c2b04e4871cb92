// A fixed-capacity FIFO of frames with a lock of its own, as the frame buffer keeps two of
// (free frames and ready frames).
//
// Safe from any thread. Every operation waits at most kFrameLockTimeoutMs for the lock and fails
// when it cannot get it, so a stuck thread elsewhere never blocks a producer or a consumer for long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/event.h"

namespace ZmCoreLib {

class FrameMemBlock;

// The longest any frame-buffer operation waits for one of its locks.
inline constexpr std::uint32_t kFrameLockTimeoutMs = 3000;

class FrameQueue {
public:
    explicit FrameQueue(std::size_t capacity);
    // Waits (bounded) for an operation under way on another thread before the lock goes.
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Appends the frame; false when the queue is full or the lock timed out.
    bool push(FrameMemBlock* frame);
    // The oldest frame, taken out; null when the queue is empty or the lock timed out.
    FrameMemBlock* pop();
    // The number of queued frames; nothing when the lock timed out.
    std::optional<std::size_t> count();

private:
    platform::Mutex mutex_;              // guards everything below
    std::vector<FrameMemBlock*> slots_;  // the queued frames from read_ on, wrapping
    std::size_t read_ = 0;
    std::size_t write_ = 0;
    std::size_t count_ = 0;
};

}  // namespace ZmCoreLib
