#include "settingitem.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "zmcorelib/ids.h"
#include "zmcorelib/setting.h"

namespace {

std::vector<SettingItem::Entry> readPairs(ZmCoreLib::IPairIterator* pairs) {
    std::vector<SettingItem::Entry> entries;
    if (!pairs) return entries;
    for (pairs->First(); !pairs->IsDone(); pairs->Next()) {
        ZmCoreLib::IPair* pair = pairs->Current();
        entries.emplace_back(pair->GetKey(), pair->GetName());
    }
    pairs->Release();
    return entries;
}

template <typename Entries>
int indexOf(const Entries& entries, int key) {
    const auto found =
        std::find_if(entries.begin(), entries.end(), [key](const auto& e) { return e.first == key; });
    return int(std::distance(entries.begin(), found));
}

int decimalLength(int value) {
    return int(std::to_string(value).size());
}

}  // namespace

SettingItem::SettingItem(ZmCoreLib::ISetting* setting) : setting_(setting) {
    switch (setting_->GetType()) {
        case ZmCoreLib::kKindEnum:
            choices_ = readPairs(setting_->GetEnum()->GetItems());
            break;
        case ZmCoreLib::kKindScalar:
            units_ = readPairs(setting_->GetScalar()->GetUnits());
            break;
        default:
            break;
    }
}

unsigned SettingItem::type() const {
    return setting_->GetType();
}
unsigned SettingItem::id() const {
    return setting_->GetId();
}
std::u16string SettingItem::name() const {
    return setting_->GetName();
}

const std::u16string& SettingItem::valueText() {
    switch (type()) {
        case ZmCoreLib::kKindEnum: {
            const int current = setting_->GetEnum()->GetValue();
            const int index = indexOfChoice(current);
            if (index < int(choices_.size())) text_ = choices_[index].second;
            break;
        }
        case ZmCoreLib::kKindScalar: {
            const std::string digits = std::to_string(setting_->GetScalar()->GetValue());
            text_.assign(digits.begin(), digits.end());
            break;
        }
        case ZmCoreLib::kKindString:
            text_ = setting_->GetString()->GetValue();
            break;
        default:
            break;
    }
    return text_;
}

int SettingItem::value() const {
    switch (type()) {
        case ZmCoreLib::kKindEnum:
            return setting_->GetEnum()->GetValue();
        case ZmCoreLib::kKindScalar:
            return setting_->GetScalar()->GetValue();
        default:
            return -1;
    }
}

void SettingItem::setValue(int value) {
    switch (type()) {
        case ZmCoreLib::kKindEnum:
            setting_->GetEnum()->SetValue(value);
            break;
        case ZmCoreLib::kKindScalar:
            setting_->GetScalar()->SetValue(value);
            break;
        default:
            break;
    }
}

int SettingItem::unit() const {
    return type() == ZmCoreLib::kKindScalar ? setting_->GetScalar()->GetUnit() : -1;
}

void SettingItem::setUnit(int unitId) {
    if (type() == ZmCoreLib::kKindScalar) setting_->GetScalar()->SetUnit(unitId);
}

void SettingItem::range(int& min, int& max, int unitId) const {
    if (type() != ZmCoreLib::kKindScalar) return;
    min = setting_->GetScalar()->GetMin(unitId);
    max = setting_->GetScalar()->GetMax(unitId);
}

void SettingItem::shift(int delta) {
    if (type() == ZmCoreLib::kKindScalar) setting_->GetScalar()->Shift(delta);
}

int SettingItem::indexOfChoice(int valueId) const {
    return indexOf(choices_, valueId);
}
int SettingItem::indexOfUnit(int unitId) const {
    return indexOf(units_, unitId);
}

void SettingItem::selectChoice(int index) {
    if (index >= 0 && index < int(choices_.size())) setting_->GetEnum()->SetValue(choices_[index].first);
}

void SettingItem::selectUnit(int index) {
    if (index >= 0 && index < int(units_.size())) setting_->GetScalar()->SetUnit(units_[index].first);
}

int SettingItem::maxTextLength() const {
    switch (type()) {
        case ZmCoreLib::kKindEnum: {
            size_t longest = 0;
            for (const auto& choice : choices_) longest = std::max(longest, choice.second.size());
            return int(longest);
        }
        case ZmCoreLib::kKindScalar: {
            // All-negative ranges are sized by their most negative minimum, the others by the
            // largest maximum, over every unit the setting offers.
            ZmCoreLib::ISettingScalar* scalar = setting_->GetScalar();
            const bool negative = scalar->GetMax(scalar->GetUnit()) < 0;
            int widest = 0;
            for (const auto& unitEntry : units_)
                widest = negative ? std::min(widest, scalar->GetMin(unitEntry.first))
                                  : std::max(widest, scalar->GetMax(unitEntry.first));
            return decimalLength(widest);
        }
        case ZmCoreLib::kKindString:
            return int(std::char_traits<char16_t>::length(setting_->GetString()->GetValue()));
        default:
            return 0;
    }
}

bool SettingItem::sameSetting(const SettingItem& other) const {
    return id() == other.id();
}

SettingRegistry& SettingRegistry::instance() {
    static SettingRegistry registry;
    return registry;
}

void SettingRegistry::add(const SettingItem& item) {
    entries_.try_emplace(item.id(), item);
}

SettingItem& SettingRegistry::at(int row) {
    return std::next(entries_.begin(), row)->second;
}
