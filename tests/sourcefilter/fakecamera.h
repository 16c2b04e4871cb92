// A camera as the filter sees it, serving frames that the test commits: an IDevice with the three
// settings the filter reads and an output frame buffer that calls its observers on the committing
// thread while it holds its buffer lock, as the camera library's buffer does.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zmcorelib/device.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/setting.h"

namespace fake {

class Scalar final : public ZmCoreLib::ISettingScalar {
public:
    explicit Scalar(int value) : value_(value) {}
    ZmCoreLib::IPairIterator* GetUnits() override { return nullptr; }
    int GetValue() override { return value_; }
    int GetLastChange() override { return 0; }
    int GetUnit() override { return 0; }
    void SetValue(int value) override { value_ = value; }
    void Shift(int delta) override { value_ += delta; }
    void SetUnit(int) override {}
    int GetMin(int) override { return 0; }
    int GetMax(int) override { return 0; }

private:
    int value_;
};

class Text final : public ZmCoreLib::ISettingString {
public:
    explicit Text(std::u16string text) : text_(std::move(text)) {}
    const char16_t* GetValue() override { return text_.c_str(); }

private:
    std::u16string text_;
};

// A scalar or string setting; every other operation is inert.
class Setting final : public ZmCoreLib::ISetting {
public:
    Setting(unsigned id, int value) : id_(id), scalar_(std::make_unique<Scalar>(value)) {}
    Setting(unsigned id, std::u16string text) : id_(id), text_(std::make_unique<Text>(std::move(text))) {}

    unsigned GetId() override { return id_; }
    unsigned GetType() override { return text_ ? 0x1004 : 0x1003; }
    unsigned GetGroup() override { return 0; }
    const char16_t* GetName() override { return u""; }
    const char16_t* GetHint() override { return u""; }
    const char16_t* GetDescription() override { return u""; }
    bool IsEnabled() override { return true; }
    ZmCoreLib::ISettingEnum* GetEnum() override { return nullptr; }
    ZmCoreLib::ISettingRect* GetRect() override { return nullptr; }
    ZmCoreLib::ISettingScalar* GetScalar() override { return scalar_.get(); }
    ZmCoreLib::ISettingString* GetString() override { return text_.get(); }
    void AddObserver(ZmCoreLib::ISettingObserver*) override {}
    void RemoveObserver(ZmCoreLib::ISettingObserver*) override {}

private:
    unsigned id_;
    std::unique_ptr<Scalar> scalar_;
    std::unique_ptr<Text> text_;
};

class FrameBuffer;

class Frame final : public ZmCoreLib::IFrame {
public:
    explicit Frame(FrameBuffer& owner) : owner_(owner) {}
    void* Reserved0() override { return nullptr; }
    void* GetData() override { return data.empty() ? nullptr : data.data(); }
    bool Release() override;
    void GetFormat(int* w, int* h, int* b) override {
        *w = width;
        *h = height;
        *b = bits;
    }
    void SetTag(int t) override { tag = t; }
    int GetTag() override { return tag; }

    std::vector<std::uint8_t> data;
    int width = 0, height = 0, bits = 0, tag = 0;

private:
    FrameBuffer& owner_;
};

class FrameBuffer final : public ZmCoreLib::IFrameBuffer {
public:
    static constexpr int kFrames = 4;
    FrameBuffer();

    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IFrame* GetFrame() override;
    void AddObserver(ZmCoreLib::IFrameBufferObserver* observer) override;
    void RemoveObserver(ZmCoreLib::IFrameBufferObserver* observer) override;

    // Queues a frame of 16-bit samples (or any depth) and calls the observers on this thread while
    // holding the buffer lock. False when no frame is free.
    bool commit(int width, int height, int bits, const void* bytes, std::size_t size);
    bool commit16(int width, int height, const std::vector<std::uint16_t>& samples) {
        return commit(width, height, 16, samples.data(), samples.size() * 2);
    }
    std::size_t observerCount();
    int freeFrames();
    // Called inside AddObserver/RemoveObserver before the buffer lock is taken.
    std::function<void()> onObserverChange;

private:
    friend class Frame;
    std::mutex queueMutex_;  // guards free_ and ready_
    std::mutex bufferLock_;  // guards observers_; held while observers are called
    std::vector<std::unique_ptr<Frame>> frames_;
    std::deque<Frame*> free_;
    std::deque<Frame*> ready_;
    std::vector<ZmCoreLib::IFrameBufferObserver*> observers_;
};

class Device final : public ZmCoreLib::IDevice {
public:
    Device(int width, int height, std::u16string serial, bool withSerial = true);

    ZmCoreLib::IFrameBuffer* Open() override { return &buffer_; }
    void Close() override {}
    ZmCoreLib::ISettingIterator* GetSettings() override;
    ZmCoreLib::ISetting* FindSetting(unsigned id) override;
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return &buffer_; }
    void Start() override {}
    void Stop() override {}
    void SoftwareStart() override {}

    FrameBuffer& buffer() { return buffer_; }

private:
    std::vector<std::unique_ptr<Setting>> settings_;
    FrameBuffer buffer_;
};

}  // namespace fake
