// Conversions between the UTF-16 texts of the interfaces and UTF-8 used for files and terminals.
#pragma once

#include <string>
#include <string_view>

#include "platform/export.h"

namespace platform {

// Invalid sequences become U+FFFD; never throws on malformed input.
ZM_PLATFORM_API std::u16string toUtf16(std::string_view utf8);
ZM_PLATFORM_API std::string toUtf8(std::u16string_view utf16);

}  // namespace platform
