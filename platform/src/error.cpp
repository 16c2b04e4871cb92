#include "platform/error.h"

#include <cstring>

namespace platform {

namespace {
thread_local int tLastError = 0;
}

int lastError() {
    return tLastError;
}

void setLastError(int code) {
    tLastError = code;
}

std::string errorText(int code) {
    const char* text = strerrordesc_np(code);
    return text ? std::string(text) + "\n" : std::string();
}

}  // namespace platform
