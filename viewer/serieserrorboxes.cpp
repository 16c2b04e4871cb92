#include "serieserrorboxes.h"

#include "qtmessagebox.h"

void SeriesErrorBoxes::report(int camera, const QString& caption, const QString& text) {
    Box& entry = boxes_[camera];
    if (!entry.box) {
        entry.box = qtmessagebox::showNonBlocking(caption, text);
        entry.framesNotSaved = 0;
    }
    ++entry.framesNotSaved;
    entry.box->setInformativeText(QString("Не сохранено кадров серии: %1").arg(entry.framesNotSaved));
}
