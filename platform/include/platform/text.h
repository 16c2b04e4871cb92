// Conversions between the UTF-16 texts of the interfaces and UTF-8 used for files and terminals.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Invalid sequences become U+FFFD; never throws on malformed input.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

}  // namespace platform
