// Shows the system's messages (platform::showMessageBox) in Qt message boxes.
#pragma once

#include <QString>

namespace qtmessagebox {

// Installs the handler. On the GUI thread a message is a modal error box; from any other thread
// it is handed to the GUI thread and shown without blocking the caller. On a platform without a
// screen (offscreen, minimal) nobody could close a box, so messages go to standard error.
void install();

// A non-modal error box that deletes itself when closed; GUI thread.
void showNonBlocking(const QString& caption, const QString& text);

}  // namespace qtmessagebox
