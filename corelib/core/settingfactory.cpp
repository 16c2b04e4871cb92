#include "core/settingfactory.h"

namespace ZmCoreLib_v4 {

void shapeScalar(SettingScalar& setting, const ScalarShape& shape) {
    const int displayUnit = shape.displayUnit != 0 ? shape.displayUnit : setting.GetUnit();
    setting.SetMin(shape.min, shape.minUnit != 0 ? shape.minUnit : displayUnit);
    setting.SetMax(shape.max, shape.maxUnit != 0 ? shape.maxUnit : displayUnit);
    setting.SetUnit(displayUnit);
    if (shape.step) setting.SetStep(*shape.step);
    if (shape.value) setting.SetValue(*shape.value);
}

ZmCoreLib::SettingString* SettingFactory::addString(unsigned id) {
    auto kind = std::make_unique<ZmCoreLib::SettingString>();
    ZmCoreLib::SettingString* text = kind.get();
    kinds_.push_back(std::move(kind));
    settings_.emplace_back(id, text);
    return text;
}

SettingScalar* SettingFactory::addScalar(unsigned id, const ScalarShape& shape) {
    auto kind = std::make_unique<SettingScalar>(&checker_);
    SettingScalar* scalar = kind.get();
    for (int unit : shape.units) scalar->AddUnit(unit);
    shapeScalar(*scalar, shape);
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

}  // namespace ZmCoreLib_v4
