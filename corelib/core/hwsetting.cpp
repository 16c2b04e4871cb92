#include "core/hwsetting.h"

#include <algorithm>
#include <limits>

#include "core/catalogue.h"

namespace ZmCoreLib_v4 {
namespace {

// Check first, so observers see the state after the camera adjusted coupled settings.
void applyChange(IChecker* checker, const ZmCoreLib::SettingKind& kind) {
    ZmCoreLib::Setting* owner = kind.owner();
    if (owner == nullptr) return;
    if (checker != nullptr) checker->Check(owner->GetId());
    owner->Notify();
}

// Values cross the client interface as int; a value that does not fit (a long period shown in
// nanoseconds) is shown as the nearest int rather than wrapped around.
int saturate(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool hasKey(std::vector<ZmCoreLib::Pair>& pairs, int key) {
    return std::any_of(pairs.begin(), pairs.end(), [key](ZmCoreLib::Pair& p) { return p.GetKey() == key; });
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Enumeration

ZmCoreLib::IPairIterator* SettingEnum::GetItems() {
    return new ZmCoreLib::PairIterator(&items_);
}

bool SettingEnum::SetValue(int valueId) {
    if (!hasKey(items_, valueId)) return false;
    const auto code = codes_.find(valueId);
    registerCode_ = code != codes_.end() ? code->second : 0;
    value_ = valueId;
    applyChange(checker_, *this);
    return true;
}

void SettingEnum::SetItems(ZmCoreLib::IPairIterator* items) {
    items_.clear();
    if (items == nullptr) return;
    for (items->First(); !items->IsDone(); items->Next()) {
        ZmCoreLib::IPair* pair = items->Current();
        items_.emplace_back(pair->GetKey(), pair->GetName());
    }
}

void SettingEnum::AddItem(int valueId, int registerCode) {
    const ZmCoreLib::EnumValueCatalogueEntry& entry = ZmCoreLib::findEnumValueEntry(valueId);
    items_.emplace_back(valueId, entry.text);
    codes_[valueId] = registerCode;
}

// ---------------------------------------------------------------------------------------------
// Scalar

std::int64_t SettingScalar::multiplierOf(int unitId) {
    const ZmCoreLib::UnitCatalogueEntry* unit = ZmCoreLib::lookUpUnit(unitId);
    return unit != nullptr ? unit->multiplier : 1;
}

void SettingScalar::apply() {
    applyChange(checker_, *this);
}

ZmCoreLib::IPairIterator* SettingScalar::GetUnits() {
    return new ZmCoreLib::PairIterator(&units_);
}

int SettingScalar::GetValue() {
    return saturate(value_ / multiplier_);
}

// A request is never refused: below the minimum it lands on the minimum, above the maximum on
// the maximum, and inside the range on the step grid that starts at the minimum. A request less
// than one step away from the present value still moves one whole step, so that a spin control
// that steps by one display unit can walk a coarser grid.
void SettingScalar::setValueInUnits(std::int64_t value) {
    const std::int64_t target = value * multiplier_;
    lastChange_ = target - value_;
    if (target == value_ && min_ <= target && target <= max_) return;

    if (target < min_) {
        // A minimum below one display unit would show as 0; one whole unit is shown instead,
        // as long as the maximum allows it.
        value_ = (multiplier_ <= min_ || multiplier_ == 1) ? min_ : std::min(multiplier_, max_);
        apply();
        return;
    }
    if (target > max_) {
        if (value_ == max_) return;
        value_ = max_;
        apply();
        return;
    }

    const std::int64_t onGrid = min_ + (target - min_) / step_ * step_;
    if (value_ == kNeverSet) {
        value_ = onGrid;
    } else if (target < value_ && value_ - target < step_) {
        value_ = std::max(value_ - step_, min_);
    } else if (target > value_ && target - value_ < step_) {
        value_ = std::min(value_ + step_, max_);
    } else {
        value_ = onGrid;
    }
    apply();
}

void SettingScalar::SetUnit(int unitId) {
    if (!hasKey(units_, unitId)) {
        notifyOwner();
        return;
    }
    unit_ = unitId;
    const std::int64_t newMultiplier = multiplierOf(unitId);
    if (newMultiplier < multiplier_) {
        multiplier_ = newMultiplier;  // a finer unit shows the same value exactly
        return;
    }
    multiplier_ = newMultiplier;
    if (value_ % multiplier_ != 0) setValueInUnits(value_ / multiplier_);
}

int SettingScalar::GetMin(int unitId) {
    const std::int64_t min = min_ / multiplierOf(unitId);
    if (min == 0 && min_ != 0) return 1;
    return saturate(min);
}

int SettingScalar::GetMax(int unitId) {
    return saturate(max_ / multiplierOf(unitId));
}

void SettingScalar::AddUnit(int unitId) {
    const ZmCoreLib::UnitCatalogueEntry& entry = ZmCoreLib::findUnitEntry(unitId);
    units_.emplace_back(unitId, entry.text);
    if (units_.size() == 1) {
        unit_ = unitId;
        multiplier_ = entry.multiplier;
    }
}

void SettingScalar::SetMin(int value, int unitId) {
    const std::int64_t min = std::int64_t{value} * multiplierOf(unitId);
    const bool raised = min > min_;
    min_ = min;
    if (!raised) return;
    if (max_ < min_) max_ = min_;
    if (value_ < min_) {
        value_ = min_;
        apply();
    }
}

void SettingScalar::SetMax(int value, int unitId) {
    max_ = std::int64_t{value} * multiplierOf(unitId);
}

void SettingScalar::SetStep(std::int64_t step) {
    step_ = std::max<std::int64_t>(step * multiplier_, 1);
}

void SettingScalar::LowerTo(std::int64_t amount, int unitId) {
    const std::int64_t target = amount * multiplierOf(unitId);
    if (target < value_) setValueInUnits(target / multiplier_);
}

void SettingScalar::RaiseTo(std::int64_t amount, int unitId) {
    const std::int64_t target = amount * multiplierOf(unitId);
    if (target <= value_) return;
    const std::int64_t roundedUp = target / multiplier_ + (target % multiplier_ != 0 ? 1 : 0);
    setValueInUnits(roundedUp);
}

}  // namespace ZmCoreLib_v4
