#include "serieserrorboxes.h"

#include <algorithm>

#include "qtmessagebox.h"

void SeriesErrorBoxes::report(int camera, const QString& caption, const QString& text, int framesNotSaved) {
    Box& entry = boxes_[camera];
    if (!entry.box) {
        entry.box = qtmessagebox::showNonBlocking(caption, text);
        entry.framesNotSaved = std::max(framesNotSaved, 1);
    } else {
        // The open box already counts the first frame of a series' count.
        entry.framesNotSaved += framesNotSaved > 0 ? framesNotSaved - 1 : 1;
    }
    entry.box->setInformativeText(QString("Не сохранено кадров серии: %1").arg(entry.framesNotSaved));
}
