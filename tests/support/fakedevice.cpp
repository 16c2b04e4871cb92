#include "fakedevice.h"

#include <algorithm>

namespace ZmCoreLib_v4::testing_support {

namespace {

constexpr int kFrameSizeMin = 1;
constexpr int kFrameSizeMax = 4096;

}  // namespace

bool FakeEnum::SetValue(int valueId) {
    if (std::none_of(items_.begin(), items_.end(), [&](const auto& e) { return e.key == valueId; }))
        return false;
    value_ = valueId;
    return true;
}

ZmCoreLib::IPairIterator* FakeScalar::GetUnits() {
    std::vector<FakePairIterator::Entry> entries;
    for (const ScalarUnit& u : units_) entries.emplace_back(u.id, u.name);
    return new FakePairIterator(std::move(entries));
}

void FakeScalar::SetValue(int value) {
    const long long base = std::clamp<long long>(1LL * value * multiplier(unit_), min_, max_);
    value_ = int(min_ + (base - min_) / step_ * step_);
    ++writes;
}

void FakeScalar::SetUnit(int unitId) {
    if (std::any_of(units_.begin(), units_.end(), [&](const ScalarUnit& u) { return u.id == unitId; }))
        unit_ = unitId;
}

int FakeScalar::multiplier(int unitId) const {
    for (const ScalarUnit& u : units_)
        if (u.id == unitId) return u.multiplier;
    return 1;
}

std::unique_ptr<FakeSetting> FakeSetting::makeEnum(unsigned id, std::u16string name,
                                                   std::vector<FakePairIterator::Entry> items, int value) {
    auto s = std::make_unique<FakeSetting>(id, ZmCoreLib::kKindEnum, std::move(name));
    s->enum_ = std::make_unique<FakeEnum>(std::move(items), value);
    return s;
}

std::unique_ptr<FakeSetting> FakeSetting::makeScalar(unsigned id, std::u16string name,
                                                     std::vector<ScalarUnit> units, int min, int max,
                                                     int value, int step) {
    auto s = std::make_unique<FakeSetting>(id, ZmCoreLib::kKindScalar, std::move(name));
    s->scalar_ = std::make_unique<FakeScalar>(std::move(units), min, max, value, step);
    return s;
}

std::unique_ptr<FakeSetting> FakeSetting::makeString(unsigned id, std::u16string name, std::u16string value) {
    auto s = std::make_unique<FakeSetting>(id, ZmCoreLib::kKindString, std::move(name));
    s->string_ = std::make_unique<FakeString>(std::move(value));
    return s;
}

bool FakeFrame::Release() {
    std::lock_guard guard(owner_.queueMutex_);
    owner_.free_.push_back(this);
    return true;
}

FakeFrameBuffer::FakeFrameBuffer() {
    for (int i = 0; i < kFrames; ++i) {
        frames_.push_back(std::make_unique<FakeFrame>(*this));
        free_.push_back(frames_.back().get());
    }
}

ZmCoreLib::IFrame* FakeFrameBuffer::GetFrame() {
    std::lock_guard guard(queueMutex_);
    if (ready_.empty()) return nullptr;
    FakeFrame* frame = ready_.front();
    ready_.pop_front();
    return frame;
}

void FakeFrameBuffer::AddObserver(ZmCoreLib::IFrameBufferObserver* observer) {
    if (onObserverChange) onObserverChange();
    platform::MutexLock lock(bufferLock_, kLockWaitMs);
    if (!lock.owns()) return;
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void FakeFrameBuffer::RemoveObserver(ZmCoreLib::IFrameBufferObserver* observer) {
    if (onObserverChange) onObserverChange();
    platform::MutexLock lock(bufferLock_, kLockWaitMs);
    if (!lock.owns()) return;
    std::erase(observers_, observer);
}

bool FakeFrameBuffer::commit(int width, int height, int bits, const void* bytes, std::size_t size) {
    FakeFrame* frame = nullptr;
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
    platform::MutexLock lock(bufferLock_, kLockWaitMs);
    if (!lock.owns()) return true;  // the frame is queued; only the wake-up calls are skipped
    for (ZmCoreLib::IFrameBufferObserver* observer : observers_) observer->OnFrameReady(0);
    return true;
}

std::size_t FakeFrameBuffer::observerCount() {
    platform::MutexLock lock(bufferLock_, platform::kWaitForever);
    return observers_.size();
}

int FakeFrameBuffer::freeFrames() {
    std::lock_guard guard(queueMutex_);
    return static_cast<int>(free_.size());
}

FakeDevice::FakeDevice(int width, int height, std::u16string serial, bool withSerial) {
    if (withSerial)
        add(FakeSetting::makeString(ZmCoreLib::ids::kCameraSerial, u"Серийный номер камеры", serial));
    add(FakeSetting::makeEnum(ZmCoreLib::ids::kGain, u"Усиление",
                              {{ZmCoreLib::ids::kGain0dB, u"0 dB"}, {ZmCoreLib::ids::kGain6dB, u"6 dB"}},
                              ZmCoreLib::ids::kGain0dB));
    add(FakeSetting::makeScalar(
        ZmCoreLib::ids::kExposure, u"Длительность экспозиции",
        {{ZmCoreLib::kUnitMicrosecond, u"мкс", 1000}, {ZmCoreLib::kUnitMillisecond, u"мс", 1000000}}, 1000,
        5000000, 20000));
    const std::vector<ScalarUnit> pixels = {{ZmCoreLib::kUnitPixel, u"пкс", 1}};
    add(FakeSetting::makeScalar(ZmCoreLib::ids::kFrameWidth, u"Размер кадра: Ширина", pixels, kFrameSizeMin,
                                kFrameSizeMax, width));
    add(FakeSetting::makeScalar(ZmCoreLib::ids::kFrameHeight, u"Размер кадра: Высота", pixels, kFrameSizeMin,
                                kFrameSizeMax, height));
}

FakeDevice::~FakeDevice() {
    stopProducing();
}

FakeSetting& FakeDevice::add(std::unique_ptr<FakeSetting> setting) {
    settings_.push_back(std::move(setting));
    return *settings_.back();
}

void FakeDevice::recordOperations(std::string tag, Recorder record) {
    tag_ = std::move(tag);
    record_ = std::move(record);
}

void FakeDevice::produceFrames(Picture picture) {
    picture_ = std::move(picture);
}

ZmCoreLib::IFrameBuffer* FakeDevice::Open() {
    note("Open");
    return &buffer_;
}

void FakeDevice::Close() {
    note("Close");
    stopProducing();
}

ZmCoreLib::ISettingIterator* FakeDevice::GetSettings() {
    std::vector<ZmCoreLib::ISetting*> all;
    for (auto& s : settings_) all.push_back(s.get());
    return new FakeSettingIterator(std::move(all));
}

ZmCoreLib::ISetting* FakeDevice::FindSetting(unsigned id) {
    for (auto& s : settings_)
        if (s->GetId() == id) return s.get();
    return nullptr;
}

void FakeDevice::Start() {
    note("Start");
    stopProducing();
    ZmCoreLib::ISetting* width = FindSetting(ZmCoreLib::ids::kFrameWidth);
    ZmCoreLib::ISetting* height = FindSetting(ZmCoreLib::ids::kFrameHeight);
    if (!picture_ || !width || !height) return;
    {
        std::lock_guard lock(producerMutex_);
        producing_ = true;
    }
    producer_ = std::thread(
        [this, width = width->GetScalar(), height = height->GetScalar()] { produce(*width, *height); });
}

void FakeDevice::Stop() {
    note("Stop");
    stopProducing();
}

void FakeDevice::note(const char* operation) {
    if (record_) record_(tag_ + ":" + operation);
}

void FakeDevice::stopProducing() {
    {
        std::lock_guard lock(producerMutex_);
        producing_ = false;
    }
    producerWake_.notify_all();
    if (producer_.joinable()) producer_.join();
}

void FakeDevice::produce(ZmCoreLib::ISettingScalar& width, ZmCoreLib::ISettingScalar& height) {
    std::unique_lock lock(producerMutex_);
    for (unsigned number = 0; producing_; ++number) {
        lock.unlock();
        const int w = width.GetValue();
        const int h = height.GetValue();
        buffer_.commit16(w, h, std::vector<std::uint16_t>(std::size_t(w) * std::size_t(h), picture_(number)));
        lock.lock();
        producerWake_.wait_for(lock, kFramePeriod, [this] { return !producing_; });
    }
}

}  // namespace ZmCoreLib_v4::testing_support
