#include "devicevideopane.h"

#include <QScrollBar>

#include "graph.h"
#include "propertyframe.h"
#include "videolayout.h"
#include "viewercontext.h"
#include "viewerevents.h"

namespace {

constexpr int kLineScrollStep = 10;

struct ZoomCommand {
    int id;
    int zoomPercent;
};
constexpr ZoomCommand kZoomCommands[] = {{commands::ID_ZOOM_FIT, CDeviceVideoPane::kZoomFit},
                                         {commands::ID_ZOOM_100, 100},
                                         {commands::ID_ZOOM_200, 200},
                                         {commands::ID_ZOOM_300, 300},
                                         {commands::ID_ZOOM_400, 400},
                                         {commands::ID_ZOOM_50, 50}};

const ZoomCommand* zoomCommand(int id) {
    for (const ZoomCommand& command : kZoomCommands)
        if (command.id == id) return &command;
    return nullptr;
}

}  // namespace

CDeviceVideoPane::CDeviceVideoPane(ViewerContext& context, int cameraIndex, QWidget* parent)
    : VideoPane(context, {cameraIndex}, parent), cameraIndex_(cameraIndex) {
    horizontalScrollBar()->setSingleStep(kLineScrollStep);
    verticalScrollBar()->setSingleStep(kLineScrollStep);
}

std::vector<VideoWindowlessControl*> CDeviceVideoPane::controls() const {
    if (!control_) return {};
    return {control_.data()};
}

void CDeviceVideoPane::attach(int index, VideoWindowlessControl* control) {
    Q_ASSERT(control);
    control_ = control;
    control->SetVideoClippingWindow(viewport());
    cameraIndex_ = index;
    recording_.setCameras({index});
    watch(control);
    layoutVideo();
}

bool CDeviceVideoPane::event(QEvent* event) {
    if (event->type() == viewer_events::WM_TAB_DEACTIVATED) {
        if (series_) onCommand(commands::ID_RECORD_SERIES);  // leaving the page ends its series
        return true;
    }
    return VideoPane::event(event);
}

void CDeviceVideoPane::setZoom(int zoomPercent) {
    zoom_ = zoomPercent;
    layoutVideo();
}

void CDeviceVideoPane::layoutVideo() {
    if (!shows(control_)) return;
    int w = 0, h = 0;
    control_->GetNativeVideoSize(&w, &h);
    const QSize client = viewport()->size();
    const auto zoomed = videolayout::place(client, QSize(w, h), zoom_);
    if (!zoomed.valid) return;
    const auto& p = zoomed.placement;
    // The bars first: their range changes show or hide them (and a bar that comes or goes lays
    // the picture out again for the new client size); the scrolling they may cause is overwritten
    // by the placement, which starts at the top left corner.
    horizontalScrollBar()->setRange(0, std::max(0, p.scrollSize.width() - client.width()));
    horizontalScrollBar()->setPageStep(client.width());
    verticalScrollBar()->setRange(0, std::max(0, p.scrollSize.height() - client.height()));
    verticalScrollBar()->setPageStep(client.height());
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    control_->SetVideoPosition(&p.source, &p.destination);
    viewport()->update();
}

void CDeviceVideoPane::scrollContentsBy(int, int) {
    if (!shows(control_) || zoom_ <= 0) return;
    QRect source, destination;
    control_->GetVideoPosition(&source, &destination);
    // The source keeps its size; its top-left corner follows the scroll positions, unzoomed.
    source.moveTo(horizontalScrollBar()->value() * 100 / zoom_, verticalScrollBar()->value() * 100 / zoom_);
    control_->SetVideoPosition(&source, &destination);
    viewport()->update();
}

bool CDeviceVideoPane::onCommand(int id) {
    if (const ZoomCommand* command = zoomCommand(id)) {
        setZoom(command->zoomPercent);
        return true;
    }
    if (id == commands::ID_SHOW_CROSSHAIR) {
        // The filter's property pages: the crosshair of the first camera's picture.
        if (context_.graph)
            CPropertyFrame::show(context_.graph->sourceFilter(), context_.graph->sourceFilterName(), this);
        return true;
    }
    return VideoPane::onCommand(id);
}

bool CDeviceVideoPane::onUpdateCommand(int id, commands::CommandState& state) {
    if (const ZoomCommand* command = zoomCommand(id)) {
        state.checkable = true;
        state.checked = zoom_ == command->zoomPercent;
        return true;
    }
    if (id == commands::ID_SHOW_CROSSHAIR) return true;
    return VideoPane::onUpdateCommand(id, state);
}
