#include "hardware/commandbuffer.h"

#include <algorithm>
#include <thread>

namespace ZmCoreLib_v4 {

namespace {
constexpr int kNoId = 0;
}

bool CommandBuffer::Lock(int holderClass, int tries) {
    // Writers count upwards, setters downwards; a class may join only while the count is on its
    // side of zero.
    const int step = holderClass == kWriterClass ? 1 : -1;
    for (;;) {
        int count = holders_.load();
        while (count * step >= 0) {
            if (holders_.compare_exchange_weak(count, count + step)) return true;
        }
        std::this_thread::yield();
        if (--tries <= 0) return false;
    }
}

void CommandBuffer::Unlock() {
    int count = holders_.load();
    while (count != 0) {
        const int released = count > 0 ? count - 1 : count + 1;
        if (holders_.compare_exchange_weak(count, released)) return;
    }
}

void CommandBuffer::Push(int id) {
    if (id == kNoId) return;
    std::lock_guard lock(pendingMutex_);
    if (std::find(pending_.begin(), pending_.end(), id) == pending_.end()) pending_.push_back(id);
}

int CommandBuffer::Pop() {
    std::lock_guard lock(pendingMutex_);
    if (pending_.empty()) return kNoId;
    const int id = pending_.back();
    pending_.pop_back();
    return id;
}

bool CommandBuffer::IsEmpty() const {
    std::lock_guard lock(pendingMutex_);
    return pending_.empty();
}

}  // namespace ZmCoreLib_v4
