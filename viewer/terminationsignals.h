// SIGTERM, SIGINT and SIGHUP close the viewer the way closing its window does, so that a viewer
// stopped from a terminal or by the desktop at log-out still shuts the cameras down in order.
#pragma once

#include <functional>

namespace terminationsignals {

// Installs the handlers; `close` runs on the GUI thread (from the event loop) once per signal.
// Call once, after the QApplication exists. Signals that arrive before the event loop runs are
// acted on as soon as it does.
void closeOnTermination(std::function<void()> close);

}  // namespace terminationsignals
