// The viewer's private window messages, as Qt events whose types carry the same numbers.
#pragma once

#include <QEvent>
#include <QString>
#include <utility>

class VideoWindowlessControl;

namespace viewer_events {

// A graph event is pending (posted to the main frame by the graph, from any thread).
inline constexpr QEvent::Type WM_GRAPH_EVENT = QEvent::Type(0x8001);
// Take over renderer `index` (sent to a page, forwarded to its video pane).
inline constexpr QEvent::Type WM_ATTACH_RENDERER = QEvent::Type(0x8002);
// The folder chooser has closed (posted to the main frame).
inline constexpr QEvent::Type WM_FOLDER_CHOSEN = QEvent::Type(0x8003);
// The user picked a file format (sent to the visible page, forwarded to its video pane).
inline constexpr QEvent::Type WM_FILE_FORMAT_CHANGED = QEvent::Type(0x8005);
// The page is being shown (forwarded to its settings pane) or hidden (to its video pane).
inline constexpr QEvent::Type WM_TAB_ACTIVATED = QEvent::Type(0x8006);
inline constexpr QEvent::Type WM_TAB_DEACTIVATED = QEvent::Type(0x8007);

class AttachRendererEvent : public QEvent {
public:
    AttachRendererEvent(int cameraIndex, VideoWindowlessControl* renderer)
        : QEvent(WM_ATTACH_RENDERER), index(cameraIndex), control(renderer) {}
    const int index;
    VideoWindowlessControl* const control;
};

class FileFormatChangedEvent : public QEvent {
public:
    explicit FileFormatChangedEvent(QString text) : QEvent(WM_FILE_FORMAT_CHANGED), format(std::move(text)) {}
    const QString format;  // the combo box's selected text
};

}  // namespace viewer_events
