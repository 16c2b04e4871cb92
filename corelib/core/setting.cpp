#include "core/setting.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "zmcorelib/ids.h"

namespace ZmCoreLib {

void SettingKind::setOwner(Setting* setting) {
    shared_ = setting->shared_;
}

Setting* SettingKind::owner() const {
    if (!shared_ || shared_->copies.empty()) return nullptr;
    return shared_->copies.front();
}

void SettingKind::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    notifyOwner();
}

void SettingKind::notifyOwner() const {
    if (Setting* current = owner()) current->Notify();
}

void SettingString::SetText(std::u16string text) {
    value_ = std::move(text);
    notifyOwner();
}

void SettingString::SetNumber(int n) {
    const std::string digits = std::to_string(n);
    SetText(std::u16string(digits.begin(), digits.end()));
}

Setting::Setting(unsigned id, SettingEnum* kind) : Setting(id, kKindEnum, kind) {
    enum_ = kind;
}
Setting::Setting(unsigned id, SettingScalar* kind) : Setting(id, kKindScalar, kind) {
    scalar_ = kind;
}
Setting::Setting(unsigned id, SettingString* kind) : Setting(id, kKindString, kind) {
    string_ = kind;
}

Setting::Setting(unsigned id, unsigned kindCode, SettingKind* kindObject)
    : shared_(std::make_shared<detail::SettingShared>()) {
    const SettingCatalogueEntry& entry = findSettingEntry(id);
    if (entry.kind != kindCode) {
        char text[96];
        std::snprintf(text, sizeof text, "setting 0x%X is of kind 0x%X in the catalogue, not 0x%X", id,
                      entry.kind, kindCode);
        throw std::invalid_argument(text);
    }
    id_ = entry.id;
    group_ = entry.group;
    kind_ = entry.kind;
    name_ = entry.name;
    hint_ = entry.hint;
    description_ = entry.description;
    join();
    kindObject->setOwner(this);
}

Setting::Setting(const Setting& other)
    : ISetting(other),
      ISettingNotify(other),
      id_(other.id_),
      group_(other.group_),
      kind_(other.kind_),
      name_(other.name_),
      hint_(other.hint_),
      description_(other.description_),
      enum_(other.enum_),
      scalar_(other.scalar_),
      string_(other.string_),
      shared_(other.shared_) {
    join();
}

Setting& Setting::operator=(const Setting& other) {
    if (this == &other) return *this;
    leave();
    id_ = other.id_;
    group_ = other.group_;
    kind_ = other.kind_;
    name_ = other.name_;
    hint_ = other.hint_;
    description_ = other.description_;
    enum_ = other.enum_;
    scalar_ = other.scalar_;
    string_ = other.string_;
    shared_ = other.shared_;
    join();
    return *this;
}

Setting::~Setting() {
    leave();
}

void Setting::join() {
    shared_->copies.push_back(this);
}

void Setting::leave() {
    std::erase(shared_->copies, this);
}

SettingKind* Setting::kindObject() const {
    if (enum_ != nullptr) return enum_;
    if (scalar_ != nullptr) return scalar_;
    return string_;
}

bool Setting::IsEnabled() {
    const SettingKind* kind = kindObject();
    return kind != nullptr && kind->isEnabled();
}

void Setting::AddObserver(ISettingObserver* observer) {
    shared_->observers.push_back(observer);
}

void Setting::RemoveObserver(ISettingObserver* observer) {
    auto& observers = shared_->observers;
    auto it = std::find(observers.begin(), observers.end(), observer);
    if (it != observers.end()) observers.erase(it);
}

void Setting::Notify() {
    // Indexing rather than iterators: an observer that removes a registration from inside its
    // call shortens the list without invalidating the loop.
    const auto& observers = shared_->observers;
    for (std::size_t i = 0; i < observers.size(); ++i) {
        try {
            observers[i]->OnSettingChanged(this);
        } catch (...) {
            // An observer's failure must not stop the others or reach the code that changed
            // the setting (often a camera thread).
        }
    }
}

}  // namespace ZmCoreLib
