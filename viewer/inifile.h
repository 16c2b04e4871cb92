// Reading and updating keys of an INI text the way the profile functions of the original desktop
// platform do: sections and keys match without regard to ASCII case, values are trimmed, and an
// update changes only the line of that key (or adds the key at the end of its section, or the
// section at the end of the text), so comments and foreign keys survive.
#pragma once

#include <string>
#include <string_view>

namespace inifile {

// The value of `key` in `section`, or an empty text when either is missing. UTF-8 throughout.
std::string readValue(std::string_view text, std::string_view section, std::string_view key);

// `text` with `key` in `section` set to `value`.
std::string writeValue(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value);

}  // namespace inifile
