#include "qtmessagebox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "platform/messagebox.h"

namespace {

bool hasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

void toStandardError(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
}

void show(const std::string& caption, const std::string& text) {
    const QString qCaption = QString::fromStdString(caption), qText = QString::fromStdString(text);
    if (!hasScreen()) {
        toStandardError(qCaption, qText);
        return;
    }
    if (QThread::currentThread() != qApp->thread()) {
        QMetaObject::invokeMethod(
            qApp, [qCaption, qText] { qtmessagebox::showNonBlocking(qCaption, qText); },
            Qt::QueuedConnection);
        return;
    }
    QMessageBox::critical(nullptr, qCaption, qText);
}

}  // namespace

namespace qtmessagebox {

void install() {
    platform::setMessageBoxHandler(&show);
}

void showNonBlocking(const QString& caption, const QString& text) {
    if (!hasScreen()) {
        toStandardError(caption, text);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

}  // namespace qtmessagebox
