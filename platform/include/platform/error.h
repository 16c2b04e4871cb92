// The calling thread's last system error and its text, as the library's exceptions report them.
#pragma once

#include <string>

#include "platform/export.h"

namespace platform {

// errno-valued code of the last failed system call made through the platform module (or set by
// the caller). Thread-local: each thread sees only its own failures.
ZM_PLATFORM_API int lastError();
ZM_PLATFORM_API void setLastError(int code);

// The C library's text for `code` followed by a line break, as system error texts end with one;
// empty when the C library knows no text for the code.
ZM_PLATFORM_API std::string errorText(int code);

}  // namespace platform
