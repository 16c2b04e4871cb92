// The calling thread's last system error and its text, as the library's exceptions report them.
#pragma once

#include <string>

namespace platform {

// errno-valued code of the last failed system call made through the platform module (or set by
// the caller). Thread-local: each thread sees only its own failures.
int lastError();
void setLastError(int code);

// The C library's text for `code` followed by a line break, as system error texts end with one;
// empty when the C library knows no text for the code.
std::string errorText(int code);

}  // namespace platform
