// The error boxes of the cameras' series. A series into an unusable folder fails on every frame;
// while a camera's box is open, further failures of its series are counted in that box instead of
// opening more, and the box says how many frames were not saved. Once the box is closed, the next
// failure opens a new one that counts afresh. GUI thread.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <map>

class SeriesErrorBoxes {
public:
    // A frame of camera `camera`'s series could not be saved; `caption` and `text` say why. With
    // `framesNotSaved` above 0 the series tells how many frames it lost since its folder stopped
    // taking files, the first of which it reported on its own.
    void report(int camera, const QString& caption, const QString& text, int framesNotSaved);

private:
    struct Box {
        QPointer<QMessageBox> box;
        int framesNotSaved = 0;
    };
    std::map<int, Box> boxes_;  // by camera index
};
