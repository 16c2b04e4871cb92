// The page of one camera: its settings list to the left of its live picture.
#pragma once

#include "devicepage.h"

struct ViewerContext;
class CDeviceSettingView;
class CDeviceVideoPane;

class CDeviceView : public DevicePage {
    Q_OBJECT

public:
    CDeviceView(ViewerContext& context, int cameraIndex, QWidget* parent = nullptr);

    CDeviceSettingView* settings() const;
    CDeviceVideoPane* video() const;
};
