// Small stand-ins for the camera library's settings and devices, for the viewer's tests and for the
// fake camera library. A scalar clamps and quantises like the real library does, so the viewer's
// editors can be checked against the value the library would apply.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakeframes.h"
#include "zmcorelib/zmcorelib.h"

namespace fake {

class PairIterator final : public ZmCoreLib::IPairIterator {
public:
    struct Entry final : ZmCoreLib::IPair {
        Entry(int k, std::u16string n) : key(k), name(std::move(n)) {}
        int GetKey() override { return key; }
        const char16_t* GetName() override { return name.c_str(); }
        int key;
        std::u16string name;
    };
    explicit PairIterator(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    void First() override { index_ = 0; }
    bool IsDone() override { return index_ >= entries_.size(); }
    void Next() override { ++index_; }
    void Release() override { delete this; }
    ZmCoreLib::IPair* Current() override { return &entries_.at(index_); }

private:
    std::vector<Entry> entries_;
    size_t index_ = 0;
};

class Enum final : public ZmCoreLib::ISettingEnum {
public:
    Enum(std::vector<PairIterator::Entry> items, int value) : items_(std::move(items)), value_(value) {}
    ZmCoreLib::IPairIterator* GetItems() override { return new PairIterator(items_); }
    int GetValue() override { return value_; }
    bool SetValue(int valueId) override {
        if (std::none_of(items_.begin(), items_.end(), [&](const auto& e) { return e.key == valueId; }))
            return false;
        value_ = valueId;
        return true;
    }
    // Forces a value the items do not list (the library can hold one after coupling).
    void force(int valueId) { value_ = valueId; }

private:
    std::vector<PairIterator::Entry> items_;
    int value_;
};

struct Unit {
    int id;
    std::u16string name;
    int multiplier;  // base units per unit
};

// Value and limits in base units; the first unit is current at construction.
class Scalar final : public ZmCoreLib::ISettingScalar {
public:
    Scalar(std::vector<Unit> units, int min, int max, int value, int step = 1)
        : units_(std::move(units)),
          min_(min),
          max_(max),
          value_(value),
          step_(step),
          unit_(units_.front().id) {}
    ZmCoreLib::IPairIterator* GetUnits() override {
        std::vector<PairIterator::Entry> entries;
        for (const Unit& u : units_) entries.emplace_back(u.id, u.name);
        return new PairIterator(std::move(entries));
    }
    int GetValue() override { return value_ / multiplier(unit_); }
    int GetLastChange() override { return 0; }
    int GetUnit() override { return unit_; }
    void SetValue(int value) override {
        const long long base = std::clamp<long long>(1LL * value * multiplier(unit_), min_, max_);
        value_ = int(min_ + (base - min_) / step_ * step_);
        ++writes;
    }
    void Shift(int delta) override { SetValue(GetValue() + delta); }
    void SetUnit(int unitId) override {
        if (std::any_of(units_.begin(), units_.end(), [&](const Unit& u) { return u.id == unitId; }))
            unit_ = unitId;
    }
    int GetMin(int unitId) override { return min_ / multiplier(unitId); }
    int GetMax(int unitId) override { return max_ / multiplier(unitId); }

    int baseValue() const { return value_; }
    int writes = 0;

private:
    int multiplier(int unitId) const {
        for (const Unit& u : units_)
            if (u.id == unitId) return u.multiplier;
        return 1;
    }
    std::vector<Unit> units_;
    int min_, max_, value_, step_;
    int unit_;
};

class String final : public ZmCoreLib::ISettingString {
public:
    explicit String(std::u16string value) : value_(std::move(value)) {}
    const char16_t* GetValue() override { return value_.c_str(); }
    void set(std::u16string value) { value_ = std::move(value); }

private:
    std::u16string value_;
};

// One setting with exactly one kind object (or none, for a kind the viewer does not know).
class Setting final : public ZmCoreLib::ISetting {
public:
    Setting(unsigned id, unsigned kind, std::u16string name) : id_(id), kind_(kind), name_(std::move(name)) {}
    static std::unique_ptr<Setting> makeEnum(unsigned id, std::u16string name,
                                             std::vector<PairIterator::Entry> items, int value) {
        auto s = std::make_unique<Setting>(id, ZmCoreLib::kKindEnum, std::move(name));
        s->enum_ = std::make_unique<Enum>(std::move(items), value);
        return s;
    }
    static std::unique_ptr<Setting> makeScalar(unsigned id, std::u16string name, std::vector<Unit> units,
                                               int min, int max, int value, int step = 1) {
        auto s = std::make_unique<Setting>(id, ZmCoreLib::kKindScalar, std::move(name));
        s->scalar_ = std::make_unique<Scalar>(std::move(units), min, max, value, step);
        return s;
    }
    static std::unique_ptr<Setting> makeString(unsigned id, std::u16string name, std::u16string value) {
        auto s = std::make_unique<Setting>(id, ZmCoreLib::kKindString, std::move(name));
        s->string_ = std::make_unique<String>(std::move(value));
        return s;
    }

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

    Enum* fakeEnum() { return enum_.get(); }
    Scalar* fakeScalar() { return scalar_.get(); }
    String* fakeString() { return string_.get(); }

private:
    unsigned id_, kind_;
    std::u16string name_;
    std::unique_ptr<Enum> enum_;
    std::unique_ptr<Scalar> scalar_;
    std::unique_ptr<String> string_;
};

class SettingIterator final : public ZmCoreLib::ISettingIterator {
public:
    explicit SettingIterator(std::vector<ZmCoreLib::ISetting*> settings) : settings_(std::move(settings)) {}
    void First() override { index_ = 0; }
    bool IsDone() override { return index_ >= settings_.size(); }
    void Next() override { ++index_; }
    void Release() override { delete this; }
    ZmCoreLib::ISetting* Current() override { return settings_.at(index_); }

private:
    std::vector<ZmCoreLib::ISetting*> settings_;
    size_t index_ = 0;
};

// A camera that records what is done to it (`record` receives "<tag>:<operation>"). A camera with
// frame width and height settings produces frames of that size while it is open.
class Device final : public ZmCoreLib::IDevice {
public:
    using Recorder = std::function<void(const std::string&)>;
    Device(std::string tag, Recorder record) : tag_(std::move(tag)), record_(std::move(record)) {}

    Setting& add(std::unique_ptr<Setting> setting) {
        settings_.push_back(std::move(setting));
        return *settings_.back();
    }

    ZmCoreLib::IFrameBuffer* Open() override {
        note("Open");
        ZmCoreLib::ISetting* width = FindSetting(ZmCoreLib::ids::kFrameWidth);
        ZmCoreLib::ISetting* height = FindSetting(ZmCoreLib::ids::kFrameHeight);
        if (width && height) {
            frames_ = std::make_unique<FrameBuffer>(width->GetScalar(), height->GetScalar());
            frames_->start();
        }
        return frames_.get();
    }
    void Close() override {
        note("Close");
        frames_.reset();
    }
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return frames_.get(); }
    ZmCoreLib::ISettingIterator* GetSettings() override {
        std::vector<ZmCoreLib::ISetting*> all;
        for (auto& s : settings_) all.push_back(s.get());
        return new SettingIterator(std::move(all));
    }
    ZmCoreLib::ISetting* FindSetting(unsigned id) override {
        for (auto& s : settings_)
            if (s->GetId() == id) return s.get();
        return nullptr;
    }
    void Start() override { note("Start"); }
    void Stop() override { note("Stop"); }
    void SoftwareStart() override { note("SoftwareStart"); }

private:
    void note(const char* operation) {
        if (record_) record_(tag_ + ":" + operation);
    }
    std::string tag_;
    Recorder record_;
    std::vector<std::unique_ptr<Setting>> settings_;
    std::unique_ptr<FrameBuffer> frames_;
};

}  // namespace fake
