// A modal message to the user, with a replaceable presenter.
//
// Library and plugin code calls showMessageBox only from client threads (never from a streaming
// thread). By default the message goes to standard error as "caption: text"; a GUI program
// installs a handler that shows a box and returns when the user closes it. There is one handler
// per process: the program, the plugin and the camera library all reach it through the shared
// platform library.
#pragma once

#include <functional>
#include <string>

#include "platform/export.h"

namespace platform {

// Texts are UTF-8.
using MessageBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;

ZM_PLATFORM_API void showMessageBox(const std::string& caption, const std::string& text);

// Installs `handler` (an empty one restores the default) and returns the previous handler.
ZM_PLATFORM_API MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
