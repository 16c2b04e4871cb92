#include "devices/camerasettings.h"

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

ZmCoreLib::SettingString* SettingFactory::addString(unsigned id) {
    auto kind = std::make_unique<ZmCoreLib::SettingString>();
    ZmCoreLib::SettingString* text = kind.get();
    kinds_.push_back(std::move(kind));
    settings_.emplace_back(id, text);
    return text;
}

SettingScalar* SettingFactory::addScalar(unsigned id, const ScalarStart& start) {
    auto kind = std::make_unique<SettingScalar>(&checker_);
    SettingScalar* scalar = kind.get();
    for (int unit : start.units) scalar->AddUnit(unit);
    const int displayUnit = start.displayUnit != 0 ? start.displayUnit : scalar->GetUnit();
    const int rangeUnit = start.rangeUnit != 0 ? start.rangeUnit : displayUnit;
    scalar->SetMin(static_cast<int>(start.min), rangeUnit);
    scalar->SetMax(static_cast<int>(start.max), rangeUnit);
    scalar->SetUnit(displayUnit);
    if (start.step) scalar->SetStep(*start.step);
    if (start.value) scalar->SetValue(*start.value);
    kinds_.push_back(std::move(kind));
    settings_.emplace_back(id, scalar);
    return scalar;
}

SettingEnum* SettingFactory::addEnum(unsigned id, std::initializer_list<EnumItem> items,
                                     std::optional<int> value) {
    auto kind = std::make_unique<SettingEnum>(&checker_);
    SettingEnum* choice = kind.get();
    for (const EnumItem& item : items) choice->AddItem(item.valueId, item.registerCode);
    if (value) choice->SetValue(*value);
    kinds_.push_back(std::move(kind));
    settings_.emplace_back(id, choice);
    return choice;
}

void applyRange(SettingScalar& setting, const ScalarRange& range) {
    setting.SetMin(range.min, range.minUnit);
    setting.SetMax(range.max, range.maxUnit);
    setting.SetUnit(range.displayUnit);
    setting.SetValue(range.value);
}

void markWritten(SettingScalar* setting) {
    if (setting != nullptr) setting->MarkWritten();
}

int writtenPixels(const SettingScalar* setting) {
    return setting != nullptr ? static_cast<int>(setting->GetWrittenIn(ZmCoreLib::kUnitPixel)) : 0;
}

int writtenBinningFactor(const SettingScalar* binning) {
    if (binning == nullptr) return 1;
    const auto factor = static_cast<int>(binning->GetWrittenIn(ZmCoreLib::kUnitPixel));
    return factor != 0 ? factor : 1;
}

}  // namespace ZmCoreLib_v4
