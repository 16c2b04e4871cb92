// Shows the system's messages (platform::showMessageBox) in Qt message boxes.
#pragma once

#include <QString>

class QMessageBox;

namespace qtmessagebox {

// Installs the handler for the whole process: the program, the plugin and the camera library
// share it. On the GUI thread a message is a modal error box; from any other thread it is handed
// to the GUI thread and shown without blocking the caller. On a platform without a screen
// (offscreen, minimal) nobody could answer a modal box: every message is shown without blocking,
// and its text also goes to standard error. Call after the QApplication exists.
void install();

// A non-modal error box that deletes itself when closed (or when the application ends); GUI
// thread. Returns the box, which stays valid until it is closed.
QMessageBox* showNonBlocking(const QString& caption, const QString& text);

}  // namespace qtmessagebox
