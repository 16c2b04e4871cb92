// The live picture of one camera, fitted into the pane or zoomed and scrolled.
#pragma once

#include "videopane.h"

class CDeviceVideoPane : public VideoPane {
    Q_OBJECT

public:
    static constexpr int kZoomFit = -1;

    CDeviceVideoPane(ViewerContext& context, int cameraIndex, QWidget* parent = nullptr);

    int zoom() const { return zoom_; }
    void setZoom(int zoomPercent);
    int cameraIndex() const { return cameraIndex_; }
    void layoutVideo() override;

    bool onCommand(int id) override;
    bool onUpdateCommand(int id, commands::CommandState& state) override;

protected:
    std::vector<VideoWindowlessControl*> controls() const override;
    void attach(int index, VideoWindowlessControl* control) override;
    bool event(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QPointer<VideoWindowlessControl> control_;
    int zoom_ = kZoomFit;
    int cameraIndex_;
};
