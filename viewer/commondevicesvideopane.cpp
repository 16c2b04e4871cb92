#include "commondevicesvideopane.h"

#include <QScrollBar>
#include <numeric>

#include "videolayout.h"

namespace {

std::vector<int> allCameras(int count) {
    std::vector<int> cameras(size_t(std::max(0, count)));
    std::iota(cameras.begin(), cameras.end(), 0);
    return cameras;
}

}  // namespace

CCommonDevicesVideoPane::CCommonDevicesVideoPane(ViewerContext& context, int cameraCount, QWidget* parent)
    : VideoPane(context, allCameras(cameraCount), parent), grid_(videolayout::gridSize(cameraCount)) {
    // The grid always fits the pane: it never scrolls.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

std::vector<VideoWindowlessControl*> CCommonDevicesVideoPane::controls() const {
    std::vector<VideoWindowlessControl*> list;
    for (const auto& control : controls_)
        if (control) list.push_back(control);
    return list;
}

void CCommonDevicesVideoPane::attach(int index, VideoWindowlessControl* control) {
    if (!(index < int(controls_.size()) && controls_[size_t(index)] == control))
        controls_.emplace_back(control);
    control->SetVideoClippingWindow(viewport());
    watch(control);
    layoutVideo();
}

void CCommonDevicesVideoPane::layoutVideo() {
    const QRect area = viewport()->rect();
    const int cells = grid_.width() * grid_.height();
    for (int i = 0; i < cells && i < int(controls_.size()); ++i) {
        VideoWindowlessControl* control = controls_[size_t(i)];
        if (!shows(control)) continue;
        int w = 0, h = 0;
        control->GetNativeVideoSize(&w, &h);
        const QRect source(0, 0, w, h);
        const QRect destination = videolayout::fitCentred(videolayout::gridCell(area, grid_, i), QSize(w, h));
        control->SetVideoPosition(&source, &destination);
    }
    viewport()->update();
}
