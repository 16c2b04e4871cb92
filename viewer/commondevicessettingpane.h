// The settings matrix of the common page: one row per setting id of any camera, one value column
// per camera in camera order, and a unit column that applies one unit to every camera.
#pragma once

#include "settinglistpane.h"

class DevicePool;
class SettingRegistry;

class CCommonDevicesSettingPane : public SettingListPane {
    Q_OBJECT

public:
    CCommonDevicesSettingPane(DevicePool& pool, SettingRegistry& registry, QWidget* parent = nullptr);

    // Every camera's matching scalar is first switched to the unit chosen on the row's registry
    // entry (this writes to the cameras), then every value and unit is read again.
    void refresh() override;

protected:
    bool editCell(int row, int column, const QRect& dropRect, const QRect& cellRect) override;

private:
    DevicePool& pool_;
    SettingRegistry& registry_;
};
