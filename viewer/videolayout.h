// Where the video panes place pictures: the common page's grid, fit without enlarging, and the
// zoom rectangles of a camera page. Pure integer arithmetic, as the panes apply it.
#pragma once

#include <QRect>
#include <QSize>

namespace videolayout {

// Columns x rows for `cameras` cells: grow columns while rows >= columns, else rows.
QSize gridSize(int cameras);
// Cell `index` (row by row) of a grid over `area`; the last column and row take the remainder.
QRect gridCell(const QRect& area, QSize grid, int index);
// The largest picture of the native aspect that fits `cell` without enlarging, centred in it
// (offsets below 0 become 0).
QRect fitCentred(const QRect& cell, QSize native);

struct Placement {
    QRect source;       // picture pixels shown
    QRect destination;  // pane pixels they go to
    QSize scrollSize;   // the scrollable extent of the pane
};

// Fit (zoomPercent -1) or zoom (50, 100, 200, 300, 400) of a `native` picture in a `client` pane.
// Other zoom values place nothing (valid() false).
struct ZoomPlacement {
    bool valid = false;
    Placement placement;
};
ZoomPlacement place(QSize client, QSize native, int zoomPercent);

}  // namespace videolayout
