// The viewer's one streaming graph: the zenmirasrc element with one pad per camera, and one
// renderer (appsink) per camera; pad i, renderer i and camera index i denote the same camera.
//
// All operations run on the GUI thread. Graph events (bus messages) arrive on any thread; the
// graph takes each message off the bus, keeps it for getEvent(), and only then posts one
// WM_GRAPH_EVENT to the notify window, so a notification never arrives before its message.
#pragma once

#include <gst/gst.h>

#include <QObject>
#include <QString>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "qx_classes/exception.h"

class DevicePool;
class VideoRenderer;
class VideoWindowlessControl;

namespace ZenmiraVidSource {
class IFilterUnknown;
}

// A part of the graph could not be created: the text says what is missing and how to fix it.
class CBad_video_graph : public qx_classes::Exception {
public:
    explicit CBad_video_graph(std::string text) : text_(std::move(text)) {}
    void describe(std::string& out) const override { out = text_; }

private:
    std::string text_;
};

// One event fetched from the graph.
struct GraphEvent {
    static constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
    static constexpr long EC_ERRORABORT = 0x03;         // an element failed
    static constexpr long EC_ELEMENT_WARNING = 0x8000;  // an element reports a problem and goes on
    long code = 0;
    QString text;            // what an error or warning says (empty for other events)
    QString caption;         // the caption an element gave its warning, if any
    int camera = -1;         // the camera (pad index) a warning concerns, -1 when it names none
    int framesNotSaved = 0;  // a series' count of the frames it lost; 0 for one file's failure
};

class VideoGraph {
public:
    // The process's graph, built on the first call from the device pool's cameras; notifications
    // go to `notifyWindow` (may be null). Throws CBad_video_graph when a component is missing.
    static VideoGraph& instance(QObject* notifyWindow = nullptr);

    VideoGraph(DevicePool& pool, QObject* notifyWindow);
    ~VideoGraph();
    VideoGraph(const VideoGraph&) = delete;
    VideoGraph& operator=(const VideoGraph&) = delete;

    // Sends WM_ATTACH_RENDERER for every renderer (or renderer `index`) to `view`, synchronously.
    void attachAll(QObject* view);
    void attachOne(QObject* view, int index);
    // Links every renderer, in order, to the first source pad that is not linked yet.
    void render();
    void run();
    // Wakes the pads' streaming threads (BreakWait), then stops the pipeline (READY).
    void stop();
    void rebuild();
    void disconnectAll();
    // Names the pipeline "FilterGraph %08x pid %08x" and dumps its graph into
    // GST_DEBUG_DUMP_DOT_DIR, when that is set, under the same name.
    int addToRot();
    // Stops the pipeline for good, removes every element and drops the renderers.
    void teardown();
    // Fetches the oldest pending event; false when none is pending. Any thread.
    bool getEvent(GraphEvent& event);
    // The filter's control interfaces (owned by the element, valid while the graph lives).
    ZenmiraVidSource::IFilterUnknown* sourceFilter() const { return filter_; }
    // The name the source filter has in the graph ("Zenmira source").
    QString sourceFilterName() const;
    // Null or cleared when the window goes; called before the notify window is destroyed.
    void setNotifyWindow(QObject* window);

    int rendererCount() const { return int(renderers_.size()); }
    VideoRenderer* renderer(int index) const;
    GstElement* pipeline() const { return pipeline_; }
    const QString& displayName() const { return displayName_; }

private:
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void dumpGraph() const;
    // Stops the pipeline and drops every reference; safe to call more than once.
    void release();

    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    ZenmiraVidSource::IFilterUnknown* filter_ = nullptr;
    std::vector<std::unique_ptr<VideoRenderer>> renderers_;
    QString displayName_;

    std::mutex notifyMutex_;  // guards notifyWindow_ and pending_ against the bus's posting threads
    QObject* notifyWindow_ = nullptr;
    std::deque<GstMessage*> pending_;  // messages not fetched yet, oldest first; owned
};
