// The settings list of one camera: name, value and unit of every setting, in the camera's order.
#pragma once

#include "settinglistpane.h"

class DeviceHolder;

class CDeviceSettingView : public SettingListPane {
    Q_OBJECT

public:
    // Builds the columns and rows for `holder` (camera index `cameraIndex`) and fills the values.
    CDeviceSettingView(DeviceHolder& holder, int cameraIndex, QWidget* parent = nullptr);

    void refresh() override;
    int cameraIndex() const { return cameraIndex_; }

protected:
    bool editCell(int row, int column, const QRect& dropRect, const QRect& cellRect) override;

private:
    DeviceHolder& holder_;
    const int cameraIndex_;
};
