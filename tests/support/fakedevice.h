// Cameras that stand in for the camera library's, for the tests of its clients (the source filter,
// its element, the viewer) and for the fake camera library those tests load.
//
// A FakeDevice holds settings and an output frame buffer. The buffer behaves as the library's:
// four frames, the oldest ready one first, observers woken on the committing thread while the
// buffer lock is held, and no lock waited for longer than 3000 ms. Frames come from the test
// (FakeFrameBuffer::commit) or, for a camera told to produce them, from a thread of the camera's
// own between Start and Stop. A scalar clamps and quantises as the library's does, so that an
// editor can be checked against the value the library would apply.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "zmcorelib/zmcorelib.h"

namespace ZmCoreLib_v4::testing_support {

class FakePairIterator final : public ZmCoreLib::IPairIterator {
public:
    struct Entry final : ZmCoreLib::IPair {
        Entry(int k, std::u16string n) : key(k), name(std::move(n)) {}
        int GetKey() override { return key; }
        const char16_t* GetName() override { return name.c_str(); }
        int key;
        std::u16string name;
    };
    explicit FakePairIterator(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    void First() override { index_ = 0; }
    bool IsDone() override { return index_ >= entries_.size(); }
    void Next() override { ++index_; }
    void Release() override { delete this; }
    ZmCoreLib::IPair* Current() override { return &entries_.at(index_); }

private:
    std::vector<Entry> entries_;
    std::size_t index_ = 0;
};

class FakeEnum final : public ZmCoreLib::ISettingEnum {
public:
    FakeEnum(std::vector<FakePairIterator::Entry> items, int value)
        : items_(std::move(items)), value_(value) {}
    ZmCoreLib::IPairIterator* GetItems() override { return new FakePairIterator(items_); }
    int GetValue() override { return value_; }
    bool SetValue(int valueId) override;
    // Forces a value the items do not list (the library can hold one after coupling).
    void force(int valueId) { value_ = valueId; }

private:
    std::vector<FakePairIterator::Entry> items_;
    int value_;
};

struct ScalarUnit {
    int id;
    std::u16string name;
    int multiplier;  // base units per unit
};

// Value and limits in base units; the first unit is current at construction. The value may be
// read on any thread (a producing camera reads its frame size on its own).
class FakeScalar final : public ZmCoreLib::ISettingScalar {
public:
    FakeScalar(std::vector<ScalarUnit> units, int min, int max, int value, int step = 1)
        : units_(std::move(units)),
          min_(min),
          max_(max),
          value_(value),
          step_(step),
          unit_(units_.front().id) {}
    ZmCoreLib::IPairIterator* GetUnits() override;
    int GetValue() override { return value_ / multiplier(unit_); }
    int GetLastChange() override { return 0; }
    int GetUnit() override { return unit_; }
    void SetValue(int value) override;
    void Shift(int delta) override { SetValue(GetValue() + delta); }
    void SetUnit(int unitId) override;
    int GetMin(int unitId) override { return min_ / multiplier(unitId); }
    int GetMax(int unitId) override { return max_ / multiplier(unitId); }

    int baseValue() const { return value_; }
    int writes = 0;  // SetValue and Shift calls so far

private:
    int multiplier(int unitId) const;

    std::vector<ScalarUnit> units_;
    int min_, max_;
    std::atomic<int> value_;
    int step_;
    int unit_;
};

class FakeString final : public ZmCoreLib::ISettingString {
public:
    explicit FakeString(std::u16string value) : value_(std::move(value)) {}
    const char16_t* GetValue() override { return value_.c_str(); }
    void set(std::u16string value) { value_ = std::move(value); }

private:
    std::u16string value_;
};

// One setting with exactly one kind object (or none, for a kind its clients do not know). Name,
// hint and description are the same text; the group is the camera-operation group.
class FakeSetting final : public ZmCoreLib::ISetting {
public:
    FakeSetting(unsigned id, unsigned kind, std::u16string name)
        : id_(id), kind_(kind), name_(std::move(name)) {}
    static std::unique_ptr<FakeSetting> makeEnum(unsigned id, std::u16string name,
                                                 std::vector<FakePairIterator::Entry> items, int value);
    static std::unique_ptr<FakeSetting> makeScalar(unsigned id, std::u16string name,
                                                   std::vector<ScalarUnit> units, int min, int max, int value,
                                                   int step = 1);
    static std::unique_ptr<FakeSetting> makeString(unsigned id, std::u16string name, std::u16string value);

    unsigned GetId() override { return id_; }
    unsigned GetType() override { return kind_; }
    unsigned GetGroup() override { return ZmCoreLib::kGroupCameraOperation; }
    const char16_t* GetName() override { return name_.c_str(); }
    const char16_t* GetHint() override { return name_.c_str(); }
    const char16_t* GetDescription() override { return name_.c_str(); }
    bool IsEnabled() override { return true; }
    ZmCoreLib::ISettingEnum* GetEnum() override { return enum_.get(); }
    ZmCoreLib::ISettingRect* GetRect() override { return nullptr; }
    ZmCoreLib::ISettingScalar* GetScalar() override { return scalar_.get(); }
    ZmCoreLib::ISettingString* GetString() override { return string_.get(); }
    void AddObserver(ZmCoreLib::ISettingObserver*) override {}
    void RemoveObserver(ZmCoreLib::ISettingObserver*) override {}

    FakeEnum* fakeEnum() { return enum_.get(); }
    FakeScalar* fakeScalar() { return scalar_.get(); }
    FakeString* fakeString() { return string_.get(); }

private:
    unsigned id_, kind_;
    std::u16string name_;
    std::unique_ptr<FakeEnum> enum_;
    std::unique_ptr<FakeScalar> scalar_;
    std::unique_ptr<FakeString> string_;
};

class FakeFrameBuffer;

class FakeFrame final : public ZmCoreLib::IFrame {
public:
    explicit FakeFrame(FakeFrameBuffer& owner) : owner_(owner) {}
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
    FakeFrameBuffer& owner_;
};

class FakeFrameBuffer final : public ZmCoreLib::IFrameBuffer {
public:
    static constexpr int kFrames = 4;
    static constexpr std::uint32_t kLockWaitMs = 3000;
    FakeFrameBuffer();

    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IFrame* GetFrame() override;
    // Both give up, as the library's do, when the buffer lock stays held for kLockWaitMs.
    void AddObserver(ZmCoreLib::IFrameBufferObserver* observer) override;
    void RemoveObserver(ZmCoreLib::IFrameBufferObserver* observer) override;

    // Any thread: queues a frame of `bits` per sample and calls the observers on this thread
    // while holding the buffer lock. False when no frame is free.
    bool commit(int width, int height, int bits, const void* bytes, std::size_t size);
    bool commit16(int width, int height, const std::vector<std::uint16_t>& samples) {
        return commit(width, height, 16, samples.data(), samples.size() * 2);
    }
    std::size_t observerCount();
    int freeFrames();
    // Called inside AddObserver/RemoveObserver before the buffer lock is taken.
    std::function<void()> onObserverChange;

private:
    friend class FakeFrame;
    std::mutex queueMutex_;       // guards free_ and ready_; taken after bufferLock_
    platform::Mutex bufferLock_;  // guards observers_; held while observers are called
    std::vector<std::unique_ptr<FakeFrame>> frames_;
    std::deque<FakeFrame*> free_;
    std::deque<FakeFrame*> ready_;
    std::vector<ZmCoreLib::IFrameBufferObserver*> observers_;
};

class FakeSettingIterator final : public ZmCoreLib::ISettingIterator {
public:
    explicit FakeSettingIterator(std::vector<ZmCoreLib::ISetting*> settings)
        : settings_(std::move(settings)) {}
    void First() override { index_ = 0; }
    bool IsDone() override { return index_ >= settings_.size(); }
    void Next() override { ++index_; }
    void Release() override { delete this; }
    ZmCoreLib::ISetting* Current() override { return settings_.at(index_); }

private:
    std::vector<ZmCoreLib::ISetting*> settings_;
    std::size_t index_ = 0;
};

// A camera. Open hands out its output buffer, which GetFrameBuffer returns at any time (the
// filter's tests bind cameras that were never opened). Every operation is inert unless the camera
// records operations or produces frames.
class FakeDevice final : public ZmCoreLib::IDevice {
public:
    using Recorder = std::function<void(const std::string&)>;
    // The sample value of every pixel of frame `number` (counting from 0 at each Start).
    using Picture = std::function<std::uint16_t(unsigned number)>;
    static constexpr auto kFramePeriod = std::chrono::milliseconds(20);

    // A camera without settings.
    FakeDevice() = default;
    // A camera as the library's models show one: its serial number (without the setting when
    // `withSerial` is false), gain, exposure time, and frame width and height in pixels.
    FakeDevice(int width, int height, std::u16string serial, bool withSerial = true);
    ~FakeDevice();

    FakeSetting& add(std::unique_ptr<FakeSetting> setting);
    // From now on `record` hears "<tag>:<operation>" for every Open, Close, Start, Stop and
    // SoftwareStart.
    void recordOperations(std::string tag, Recorder record);
    // From each Start to the next Stop or Close, a thread of the camera's own commits a 16-bit
    // frame every kFramePeriod, sized by the frame width and height settings at that moment. A
    // camera without those settings produces nothing.
    void produceFrames(Picture picture);

    ZmCoreLib::IFrameBuffer* Open() override;
    void Close() override;
    ZmCoreLib::ISettingIterator* GetSettings() override;
    ZmCoreLib::ISetting* FindSetting(unsigned id) override;
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return &buffer_; }
    void Start() override;
    void Stop() override;
    void SoftwareStart() override { note("SoftwareStart"); }

    FakeFrameBuffer& buffer() { return buffer_; }

private:
    void note(const char* operation);
    void stopProducing();
    void produce(ZmCoreLib::ISettingScalar& width, ZmCoreLib::ISettingScalar& height);

    std::string tag_;
    Recorder record_;
    std::vector<std::unique_ptr<FakeSetting>> settings_;
    FakeFrameBuffer buffer_;
    Picture picture_;
    std::mutex producerMutex_;  // guards producing_
    std::condition_variable producerWake_;
    bool producing_ = false;
    std::thread producer_;  // started and joined by the thread that calls Start and Stop
};

}  // namespace ZmCoreLib_v4::testing_support
