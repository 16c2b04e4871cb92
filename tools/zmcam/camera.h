// What the camera commands share: the camera object of a listed device index, settings found by
// id or name, settings described as text, and values given on the command line.
#pragma once

#include <optional>
#include <string>

#include "command.h"

namespace zmcam {

// The camera object of the camera listed with `deviceIndex`, built by a new creator; null after
// telling the user on context.err why there is none.
ZmCoreLib::IDevice* openCamera(CommandContext& context, const std::string& deviceIndex);

// The setting named by `key`: an id ("0x3002" or "12290") or the setting's name as `info` shows
// it. Null after telling the user why (unknown, or a name several settings share).
ZmCoreLib::ISetting* findSetting(CommandContext& context, ZmCoreLib::IDevice& camera, const std::string& key);

// One line: id, kind, name, value, then the range and units or the choices, and whether it is
// enabled, separated by tabs.
std::string describeSetting(ZmCoreLib::ISetting& setting);

// Sets `value` (in `unit`, or the setting's display unit when empty). False after telling the
// user why the value cannot be taken.
bool applySetting(CommandContext& context, ZmCoreLib::ISetting& setting, const std::string& value,
                  const std::string& unit);

// A whole number in decimal or, with 0x, hex; none for anything else.
std::optional<long long> parseNumber(const std::string& text);

}  // namespace zmcam
