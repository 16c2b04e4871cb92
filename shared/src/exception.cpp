#include "qx_classes/exception.h"

#include <utility>

#include "platform/error.h"

namespace qx_classes {

void Exception::describe(std::string& /*out*/) const {}

const char* Exception::what() const {
    describe(message_);
    return message_.c_str();
}

Win32_exception::Win32_exception() : error_(static_cast<std::uint32_t>(platform::lastError())) {}

Win32_exception::Win32_exception(std::uint32_t code) : error_(code) {}

void Win32_exception::describe(std::string& out) const {
    std::string text = platform::errorText(static_cast<int>(error_));
    if (!text.empty()) out = std::move(text);
}

}  // namespace qx_classes
