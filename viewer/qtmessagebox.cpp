#include "qtmessagebox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <cstdio>
#include <utility>

#include "platform/messagebox.h"

namespace {

bool hasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
}

void toStandardError(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
}

// The non-modal boxes still open; the application deletes them as it ends, while widgets can
// still be destroyed. GUI thread.
QList<QPointer<QMessageBox>>& openBoxes() {
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

void deleteOpenBoxes() {
    for (const QPointer<QMessageBox>& box : std::exchange(openBoxes(), {})) delete box.data();
}

void show(const std::string& caption, const std::string& text) {
    const QString qCaption = QString::fromStdString(caption), qText = QString::fromStdString(text);
    if (QThread::currentThread() != qApp->thread()) {
        QMetaObject::invokeMethod(
            qApp, [qCaption, qText] { qtmessagebox::showNonBlocking(qCaption, qText); },
            Qt::QueuedConnection);
        return;
    }
    if (!hasScreen()) {
        qtmessagebox::showNonBlocking(qCaption, qText);
        return;
    }
    QMessageBox::critical(nullptr, qCaption, qText);
}

}  // namespace

namespace qtmessagebox {

void install() {
    platform::setMessageBoxHandler(&show);
}

QMessageBox* showNonBlocking(const QString& caption, const QString& text) {
    if (!hasScreen()) toStandardError(caption, text);
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    static const bool deletedAtTheEnd = (qAddPostRoutine(&deleteOpenBoxes), true);
    Q_UNUSED(deletedAtTheEnd);
    QList<QPointer<QMessageBox>>& boxes = openBoxes();
    boxes.removeAll(nullptr);
    boxes.append(box);
    box->show();
    return box;
}

}  // namespace qtmessagebox
