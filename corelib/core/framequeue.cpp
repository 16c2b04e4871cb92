#include "core/framequeue.h"

namespace ZmCoreLib {

FrameQueue::FrameQueue(std::size_t capacity) : slots_(capacity, nullptr) {}

FrameQueue::~FrameQueue() {
    platform::MutexLock waitForOthers(mutex_, kFrameLockTimeoutMs);
}

bool FrameQueue::push(FrameMemBlock* frame) {
    platform::MutexLock lock(mutex_, kFrameLockTimeoutMs);
    if (!lock.owns() || count_ == slots_.size()) return false;
    slots_[write_] = frame;
    write_ = (write_ + 1) % slots_.size();
    ++count_;
    return true;
}

FrameMemBlock* FrameQueue::pop() {
    platform::MutexLock lock(mutex_, kFrameLockTimeoutMs);
    if (!lock.owns() || count_ == 0) return nullptr;
    FrameMemBlock* frame = slots_[read_];
    read_ = (read_ + 1) % slots_.size();
    --count_;
    return frame;
}

std::optional<std::size_t> FrameQueue::count() {
    platform::MutexLock lock(mutex_, kFrameLockTimeoutMs);
    if (!lock.owns()) return std::nullopt;
    return count_;
}

}  // namespace ZmCoreLib
