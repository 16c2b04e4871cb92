#include "platform/messagebox.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex gHandlerMutex;  // guards gHandler
MessageBoxHandler gHandler;

void writeToStandardError(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace

void showMessageBox(const std::string& caption, const std::string& text) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(gHandlerMutex);
        handler = gHandler;
    }
    if (handler)
        handler(caption, text);
    else
        writeToStandardError(caption, text);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(gHandlerMutex);
    return std::exchange(gHandler, std::move(handler));
}

}  // namespace platform
