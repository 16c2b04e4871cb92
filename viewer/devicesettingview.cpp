#include "devicesettingview.h"

#include "zmcoreimpl/zmcorelib_device.h"

namespace {

constexpr int kUnitColumnWidth = 50;

}  // namespace

CDeviceSettingView::CDeviceSettingView(DeviceHolder& holder, int cameraIndex, QWidget* parent)
    : SettingListPane(parent), holder_(holder), cameraIndex_(cameraIndex) {
    addColumn(QString(), Qt::AlignLeft, textWidth(holder_.maxNameLength()) * 5 / 6);
    addColumn("Значение", Qt::AlignRight, textWidth(holder_.maxValueLength()) * 4 / 7);
    addColumn("Ед.", Qt::AlignHCenter, kUnitColumnWidth);
    setRowCount(int(holder_.settings().size()));
    for (int row = 0; row < rowCount(); ++row)
        setCell(row, 0, QString::fromStdU16String(holder_.settings()[row].name()));
    refresh();
}

void CDeviceSettingView::refresh() {
    auto& items = holder_.settings();
    const int unitColumn = columnCount() - 1;
    for (int row = 0; row < int(items.size()); ++row) {
        setCell(row, 1, QString::fromStdU16String(items[row].valueText()));
        const QTableWidgetItem* unit = item(row, unitColumn);
        setCell(row, unitColumn, unitText(items[row], unit ? unit->text() : QString()));
    }
}

bool CDeviceSettingView::editCell(int row, int column, const QRect& dropRect, const QRect& cellRect) {
    if (row >= int(holder_.settings().size())) return false;
    SettingItem* item = &holder_.settings()[row];
    if (column == columnCount() - 1) return runUnitEditor(item, dropRect, cellRect);
    return runValueEditor(item, dropRect, cellRect);
}
