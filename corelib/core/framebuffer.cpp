#include "core/framebuffer.h"

#include <algorithm>

#include "zmcorelib/exceptions.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib {

namespace {
constexpr char16_t kFrameHeldMessage[] = u"Есть занятый кадр";
}

void* FrameMemBlock::GetData() {
    return size_ == 0 ? nullptr : data_.data();
}

bool FrameMemBlock::Release() {
    return owner_->release(this);
}

void FrameMemBlock::GetFormat(int* width, int* height, int* bitsPerPixel) {
    if (width) *width = width_;
    if (height) *height = height_;
    if (bitsPerPixel) *bitsPerPixel = bitsPerPixel_;
}

void FrameMemBlock::SetSize(int size) {
    size = std::max(size, 0);
    if (size == size_) return;
    data_.resize(static_cast<std::size_t>(size));  // keeps its capacity when shrinking
    size_ = size;
}

bool FrameMemBlock::Commit() {
    return owner_->commit(this);
}

void FrameMemBlock::SetFormat(int width, int height, int bitsPerPixel) {
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
}

FrameBuffer::FrameBuffer() {
    for (FrameMemBlock& frame : frames_) {
        frame.setOwner(this);
        free_.push(&frame);
    }
    counterText_.SetNumber(frameCounter_);
    settings_.emplace_back(ids::kFrameCounter, &counterText_);
}

FrameBuffer::~FrameBuffer() {
    platform::MutexLock waitForOthers(lock_, kFrameLockTimeoutMs);
    observers_.clear();
}

ISettingIterator* FrameBuffer::GetSettings() {
    return new SettingIterator(&settings_);
}

IFrame* FrameBuffer::GetFrame() {
    return ready_.pop();
}

void FrameBuffer::AddObserver(IFrameBufferObserver* observer) {
    if (!observer) return;
    platform::MutexLock lock(lock_, kFrameLockTimeoutMs);
    if (!lock.owns()) return;
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void FrameBuffer::RemoveObserver(IFrameBufferObserver* observer) {
    platform::MutexLock lock(lock_, kFrameLockTimeoutMs);
    if (!lock.owns()) return;
    if (auto found = std::find(observers_.begin(), observers_.end(), observer); found != observers_.end())
        observers_.erase(found);
}

IMemBlock* FrameBuffer::Allocate(int size) {
    FrameMemBlock* frame = free_.pop();
    if (!frame) return nullptr;
    frame->SetSize(size);
    return frame;
}

bool FrameBuffer::commit(FrameMemBlock* frame) {
    // The counter's observers hear of the frame before it is queued.
    counterText_.SetNumber(++frameCounter_);
    // A refused frame stays with the producer, which may commit it again or release it.
    if (!ready_.push(frame)) return false;
    platform::MutexLock lock(lock_, kFrameLockTimeoutMs);
    if (!lock.owns()) return true;  // the frame is queued; only the wake-up calls are skipped
    for (auto next = observers_.begin(); next != observers_.end();) {
        IFrameBufferObserver* observer = *next++;  // the observer may remove itself
        observer->OnFrameReady(0);
    }
    return true;
}

const FrameMemBlock* FrameBuffer::frameOf(const IFrame* frame) const {
    for (const FrameMemBlock& own : frames_) {
        if (static_cast<const IFrame*>(&own) == frame) return &own;
    }
    return nullptr;
}

bool FrameBuffer::Reset() {
    {
        platform::MutexLock lock(lock_, kFrameLockTimeoutMs);
        if (!lock.owns()) return false;
        while (FrameMemBlock* frame = ready_.pop()) free_.push(frame);
    }
    const std::optional<std::size_t> freeFrames = free_.count();
    if (!freeFrames) return false;
    if (*freeFrames != kFrameCount) throw FrameBufferException(kFrameHeldMessage);
    return true;
}

}  // namespace ZmCoreLib
