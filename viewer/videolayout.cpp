#include "videolayout.h"

#include <algorithm>

namespace videolayout {

QSize gridSize(int cameras) {
    int columns = 1, rows = 1;
    while (columns * rows < cameras) {
        if (rows >= columns)
            ++columns;
        else
            ++rows;
    }
    return {columns, rows};
}

QRect gridCell(const QRect& area, QSize grid, int index) {
    const int column = index % grid.width(), row = index / grid.width();
    const int cellWidth = area.width() / grid.width(), cellHeight = area.height() / grid.height();
    const int left = area.left() + column * cellWidth, top = area.top() + row * cellHeight;
    const int width = column == grid.width() - 1 ? area.width() - column * cellWidth : cellWidth;
    const int height = row == grid.height() - 1 ? area.height() - row * cellHeight : cellHeight;
    return {left, top, width, height};
}

QRect fitCentred(const QRect& cell, QSize native) {
    const int w = native.width() > 0 ? native.width() : 1;
    const int h = native.height() > 0 ? native.height() : 1;
    int pw = std::min(cell.width(), native.width());
    int ph = pw * h / w;
    if (ph > cell.height()) {
        ph = cell.height();
        pw = ph * native.width() / h;
    }
    const int x = std::max(0, (cell.width() - pw) / 2), y = std::max(0, (cell.height() - ph) / 2);
    return {cell.left() + x, cell.top() + y, pw, ph};
}

ZoomPlacement place(QSize client, QSize native, int zoomPercent) {
    const int cx = client.width(), cy = client.height(), w = native.width(), h = native.height();
    const QRect whole(0, 0, w, h);
    if (zoomPercent == -1) {
        const QRect shown = fitCentred(QRect(QPoint(0, 0), client), native);
        return {true, {whole, shown, shown.size()}};
    }
    if (zoomPercent != 50 && zoomPercent != 100 && zoomPercent != 200 && zoomPercent != 300 &&
        zoomPercent != 400)
        return {};
    const int zw = w * zoomPercent / 100, zh = h * zoomPercent / 100;
    const auto unzoom = [zoomPercent](int length) { return length * 100 / zoomPercent; };
    Placement p;
    p.scrollSize = {zw, zh};
    if (zw <= cx && zh <= cy) {
        p.destination = QRect((cx - zw) / 2, (cy - zh) / 2, zw, zh);
        p.source = whole;
    } else if (zw > cx && zh > cy) {
        p.destination = QRect(0, 0, cx, cy);
        p.source = QRect(0, 0, unzoom(cx), unzoom(cy));
    } else if (zw <= cx) {
        p.destination = QRect((cx - zw) / 2, 0, zw, cy);
        p.source = QRect(0, 0, unzoom(zw), unzoom(cy));
    } else {
        p.destination = QRect(0, (cy - zh) / 2, cx, zh);
        p.source = QRect(0, 0, unzoom(cx), unzoom(zh));
    }
    return {true, p};
}

}  // namespace videolayout
