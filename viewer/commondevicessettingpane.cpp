#include "commondevicessettingpane.h"

#include "zmcoreimpl/zmcorelib_devicepool.h"
#include "zmcorelib/ids.h"

namespace {

constexpr int kUnitColumnWidth = 50;

}  // namespace

CCommonDevicesSettingPane::CCommonDevicesSettingPane(DevicePool& pool, SettingRegistry& registry,
                                                     QWidget* parent)
    : SettingListPane(parent), pool_(pool), registry_(registry) {
    const DeviceHolder* first = pool_.at(0);
    addColumn(QString(), Qt::AlignLeft, first ? textWidth(first->maxNameLength()) * 5 / 6 : 0);
    for (auto& entry : pool_)
        addColumn(QString::fromStdU16String(entry.second.serial()), Qt::AlignRight,
                  textWidth(entry.second.maxValueLength()) * 4 / 7);
    addColumn("Ед.", Qt::AlignHCenter, kUnitColumnWidth);
    setRowCount(int(registry_.size()));
    int row = 0;
    for (auto& entry : registry_) setCell(row++, 0, QString::fromStdU16String(entry.second.name()));
    refresh();
}

void CCommonDevicesSettingPane::refresh() {
    const int unitColumn = columnCount() - 1;
    int row = 0;
    for (auto& entry : registry_) {
        SettingItem& representative = entry.second;
        int column = 1;
        for (auto& camera : pool_) {
            SettingItem* item = camera.second.find(representative);
            if (!item) {
                setCell(row, column++, QString());
                continue;
            }
            item->setUnit(representative.unit());
            setCell(row, column++, QString::fromStdU16String(item->valueText()));
            const QTableWidgetItem* unit = this->item(row, unitColumn);
            setCell(row, unitColumn,
                    representative.type() == ZmCoreLib::kKindScalar
                        ? unitText(*item, unit ? unit->text() : QString())
                        : QString());
        }
        ++row;
    }
}

bool CCommonDevicesSettingPane::editCell(int row, int column, const QRect& dropRect, const QRect& cellRect) {
    if (row >= int(registry_.size())) return false;
    SettingItem& representative = registry_.at(row);
    if (column == columnCount() - 1) {
        if (!runUnitEditor(&representative, dropRect, cellRect)) return false;
        // One unit choice applies to every camera.
        for (auto& camera : pool_)
            if (SettingItem* item = camera.second.find(representative)) item->setUnit(representative.unit());
        return true;
    }
    DeviceHolder* camera = pool_.at(column - 1);
    return camera && runValueEditor(camera->find(representative), dropRect, cellRect);
}
