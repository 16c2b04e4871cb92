// The fixed catalogues every setting is built from: the settings (id, kind, group and texts),
// the display texts of enumeration values and the units with their multipliers.
//
// The tables are constant and read-only, so any thread may look them up.
#pragma once

#include <cstdint>
#include <span>

namespace ZmCoreLib {

struct SettingCatalogueEntry {
    unsigned id;
    unsigned kind;
    unsigned group;
    const char16_t* name;
    const char16_t* hint;
    const char16_t* description;
};

struct EnumValueCatalogueEntry {
    int id;
    const char16_t* text;
};

struct UnitCatalogueEntry {
    int id;
    std::int64_t multiplier;  // base units (ns, µV, ...) per one of this unit
    const char16_t* text;
};

// The whole tables in catalogue order; the settings table's order is its search order.
std::span<const SettingCatalogueEntry> settingCatalogue();
std::span<const EnumValueCatalogueEntry> enumValueCatalogue();
std::span<const UnitCatalogueEntry> unitCatalogue();

// The first entry with this id. An id missing from its catalogue is a programming error of the
// code that builds the setting: these throw std::invalid_argument naming the id.
const SettingCatalogueEntry& findSettingEntry(unsigned id);
const EnumValueCatalogueEntry& findEnumValueEntry(int valueId);
const UnitCatalogueEntry& findUnitEntry(int unitId);

// The entry, or null when the unit is not in the catalogue.
const UnitCatalogueEntry* lookUpUnit(int unitId);

}  // namespace ZmCoreLib
