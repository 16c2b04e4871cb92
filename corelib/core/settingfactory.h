// Building hardware-backed settings: SettingFactory makes them with their camera as checker,
// appends them to a settings list in the order they are made and keeps their kind objects for
// the owner's life. Cameras and the intensifier module build every setting through it, and
// shape every scalar with one ScalarShape.
//
// Threads: used while the camera is built, on the constructing thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "core/hwsetting.h"
#include "core/setting.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

// The units a time setting offers: нс first, so that it shows nanoseconds unless told otherwise.
inline constexpr std::initializer_list<int> kTimeUnits = {
    ZmCoreLib::kUnitNanosecond, ZmCoreLib::kUnitMicrosecond, ZmCoreLib::kUnitMillisecond};

// One choice of an enumeration setting: the value id clients see, the code its register takes.
struct EnumItem {
    int valueId;
    int registerCode;
};

// The shape of a scalar setting. `units` are the units a new setting offers (the first one is
// its display unit unless `displayUnit` names another); shaping an existing setting offers none.
// `min` and `max` count in `minUnit` and `maxUnit` (0: the display unit), `step` and `value` in
// the display unit. Without a step the setting moves by one base unit; without a value it keeps
// its own.
struct ScalarShape {
    std::initializer_list<int> units = {};
    int min = 0;
    int minUnit = 0;
    int max = 0;
    int maxUnit = 0;
    int displayUnit = 0;
    std::optional<std::int64_t> step = std::nullopt;
    std::optional<int> value = std::nullopt;
};

// Sets the minimum, the maximum, the display unit, the step and the value of `setting`, in that
// order, through its normal operations: a setting already in a camera's list checks each.
void shapeScalar(SettingScalar& setting, const ScalarShape& shape);

class SettingFactory {
public:
    SettingFactory(IChecker& checker, std::vector<ZmCoreLib::Setting>& settings)
        : checker_(checker), settings_(settings) {}
    SettingFactory(const SettingFactory&) = delete;
    SettingFactory& operator=(const SettingFactory&) = delete;

    // Each makes the kind object, gives it its start state (nobody is checked or told: the
    // setting does not exist yet), then appends the setting to the list.
    ZmCoreLib::SettingString* addString(unsigned id);
    SettingScalar* addScalar(unsigned id, const ScalarShape& shape);
    // Without a value the enumeration is left for its owner to set.
    SettingEnum* addEnum(unsigned id, std::initializer_list<EnumItem> items, std::optional<int> value);

private:
    IChecker& checker_;
    std::vector<ZmCoreLib::Setting>& settings_;
    std::vector<std::unique_ptr<ZmCoreLib::SettingKind>> kinds_;
};

}  // namespace ZmCoreLib_v4
