#include "fakecamera.h"

#include <algorithm>
#include <cstring>

#include "zmcorelib/ids.h"

namespace fake {

namespace {

class SettingIterator final : public ZmCoreLib::ISettingIterator {
public:
    explicit SettingIterator(std::vector<ZmCoreLib::ISetting*> items) : items_(std::move(items)) {}
    void First() override { position_ = 0; }
    bool IsDone() override { return position_ >= items_.size(); }
    void Next() override { ++position_; }
    void Release() override { delete this; }
    ZmCoreLib::ISetting* Current() override { return items_.at(position_); }

private:
    std::vector<ZmCoreLib::ISetting*> items_;
    std::size_t position_ = 0;
};

}  // namespace

bool Frame::Release() {
    std::lock_guard guard(owner_.queueMutex_);
    owner_.free_.push_back(this);
    return true;
}

FrameBuffer::FrameBuffer() {
    for (int i = 0; i < kFrames; ++i) {
        frames_.push_back(std::make_unique<Frame>(*this));
        free_.push_back(frames_.back().get());
    }
}

ZmCoreLib::IFrame* FrameBuffer::GetFrame() {
    std::lock_guard guard(queueMutex_);
    if (ready_.empty()) return nullptr;
    Frame* frame = ready_.front();
    ready_.pop_front();
    return frame;
}

void FrameBuffer::AddObserver(ZmCoreLib::IFrameBufferObserver* observer) {
    if (onObserverChange) onObserverChange();
    std::lock_guard lock(bufferLock_);
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void FrameBuffer::RemoveObserver(ZmCoreLib::IFrameBufferObserver* observer) {
    if (onObserverChange) onObserverChange();
    std::lock_guard lock(bufferLock_);
    std::erase(observers_, observer);
}

bool FrameBuffer::commit(int width, int height, int bits, const void* bytes, std::size_t size) {
    Frame* frame = nullptr;
    {
        std::lock_guard guard(queueMutex_);
        if (free_.empty()) return false;
        frame = free_.front();
        free_.pop_front();
    }
    frame->data.assign(static_cast<const std::uint8_t*>(bytes),
                       static_cast<const std::uint8_t*>(bytes) + size);
    frame->width = width;
    frame->height = height;
    frame->bits = bits;
    {
        std::lock_guard guard(queueMutex_);
        ready_.push_back(frame);
    }
    std::lock_guard lock(bufferLock_);
    for (ZmCoreLib::IFrameBufferObserver* observer : observers_) observer->OnFrameReady(0);
    return true;
}

std::size_t FrameBuffer::observerCount() {
    std::lock_guard guard(bufferLock_);
    return observers_.size();
}

int FrameBuffer::freeFrames() {
    std::lock_guard guard(queueMutex_);
    return static_cast<int>(free_.size());
}

Device::Device(int width, int height, std::u16string serial, bool withSerial) {
    settings_.push_back(std::make_unique<Setting>(0x3001u, 7));  // a setting the filter ignores
    settings_.push_back(std::make_unique<Setting>(ZmCoreLib::ids::kFrameWidth, width));
    settings_.push_back(std::make_unique<Setting>(ZmCoreLib::ids::kFrameHeight, height));
    if (withSerial)
        settings_.push_back(std::make_unique<Setting>(ZmCoreLib::ids::kCameraSerial, std::move(serial)));
}

ZmCoreLib::ISettingIterator* Device::GetSettings() {
    std::vector<ZmCoreLib::ISetting*> items;
    for (auto& setting : settings_) items.push_back(setting.get());
    return new SettingIterator(std::move(items));
}

ZmCoreLib::ISetting* Device::FindSetting(unsigned id) {
    for (auto& setting : settings_)
        if (setting->GetId() == id) return setting.get();
    return nullptr;
}

}  // namespace fake
