#include "zmcorelib/exceptions.h"

#include <sstream>

#include "platform/error.h"

namespace ZmCoreLib {

Win32Exception::Win32Exception(const char* file, int line) {
    const int code = platform::lastError();  // first, before anything can change it
    std::ostringstream text;
    text << "Error code: " << code << "\n"
         << platform::errorText(code) << "\n"
         << "In File: " << (file ? file : "") << "\n"
         << "Line: " << line;
    message_ = text.str();
}

}  // namespace ZmCoreLib
