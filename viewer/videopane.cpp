#include "videopane.h"

#include <QPainter>

#include "viewerevents.h"

namespace {

// The stock grey brush behind and around the pictures.
const QColor kBackground(0x80, 0x80, 0x80);

}  // namespace

VideoPane::VideoPane(ViewerContext& context, std::vector<int> cameras, QWidget* parent)
    : QAbstractScrollArea(parent), context_(context), recording_(context, std::move(cameras)) {
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::ArrowCursor);
}

void VideoPane::watch(VideoWindowlessControl* control) {
    connect(control, &VideoWindowlessControl::nativeSizeChanged, this, &VideoPane::layoutVideo,
            Qt::UniqueConnection);
}

bool VideoPane::shows(const VideoWindowlessControl* control) const {
    return control && control->GetVideoClippingWindow() == viewport();
}

bool VideoPane::event(QEvent* event) {
    using namespace viewer_events;
    if (event->type() == WM_ATTACH_RENDERER) {
        auto* attachEvent = static_cast<AttachRendererEvent*>(event);
        attach(attachEvent->index, attachEvent->control);
        return true;
    }
    if (event->type() == WM_FILE_FORMAT_CHANGED) {
        recording_.setFileFormat(static_cast<FileFormatChangedEvent*>(event)->format);
        return true;
    }
    return QAbstractScrollArea::event(event);
}

bool VideoPane::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::Paint) return QAbstractScrollArea::viewportEvent(event);
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
    for (VideoWindowlessControl* control : controls())
        if (shows(control)) control->RepaintVideo(painter);
    return true;
}

void VideoPane::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutVideo();
}

bool VideoPane::onCommand(int id) {
    using namespace commands;
    switch (id) {
        case ID_SOFTWARE_START:
            recording_.softwareStart();
            return true;
        case ID_RECORD_FRAME:
            recording_.recordFrame();
            return true;
        case ID_RECORD_SERIES:
            series_ = !series_;
            recording_.setSeries(series_);
            return true;
        default:
            return false;
    }
}

bool VideoPane::onUpdateCommand(int id, commands::CommandState& state) {
    using namespace commands;
    switch (id) {
        case ID_SOFTWARE_START:
            return true;
        case ID_RECORD_FRAME:
            state.enabled = !series_;
            return true;
        case ID_RECORD_SERIES:
            state.checkable = true;
            state.checked = series_;
            return true;
        default:
            return false;
    }
}
