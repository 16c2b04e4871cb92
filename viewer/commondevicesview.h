// The common page: the settings matrix of every camera above the grid of every live picture.
#pragma once

#include "devicepage.h"

struct ViewerContext;
class CCommonDevicesSettingPane;
class CCommonDevicesVideoPane;

class CCommonDevicesView : public DevicePage {
    Q_OBJECT

public:
    explicit CCommonDevicesView(ViewerContext& context, QWidget* parent = nullptr);

    CCommonDevicesSettingPane* settings() const;
    CCommonDevicesVideoPane* video() const;
};
