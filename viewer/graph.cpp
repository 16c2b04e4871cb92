#include "graph.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

#include "sourcefilter.h"
#include "videorenderer.h"
#include "viewerevents.h"
#include "zenmiravidsource/element.h"
#include "zmcoreimpl/zmcorelib_devicepool.h"

namespace {

constexpr const char* kSourceName = "Zenmira source";
constexpr const char* kEventCodeField = "code";
constexpr const char* kPinField = "pin";

// The filter inside the element, reached through its camera interface (every control interface
// leads to the others).
ZenmiraVidSource::IFilterUnknown* filterOf(GstElement* source) {
    if (!g_signal_lookup(ZenmiraVidSource::kQueryInterfaceSignal, G_OBJECT_TYPE(source))) return nullptr;
    gpointer object = nullptr;
    g_signal_emit_by_name(source, ZenmiraVidSource::kQueryInterfaceSignal,
                          &ZenmiraVidSource::IID_IDeviceSource, &object);
    return static_cast<ZenmiraVidSource::IDeviceSource*>(object);
}

// Calls `visit` for every item of a GstIterator of objects, starting over after a resync.
template <typename Visit>
void forEach(GstIterator* it, Visit visit) {
    GValue item = G_VALUE_INIT;
    for (bool done = false; !done;) {
        switch (gst_iterator_next(it, &item)) {
            case GST_ITERATOR_OK:
                visit(g_value_get_object(&item));
                g_value_reset(&item);
                break;
            case GST_ITERATOR_RESYNC:
                gst_iterator_resync(it);
                break;
            default:
                done = true;
                break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

// The text of an error or warning message, and the caption and camera its details carry (if any).
void readProblem(GstMessage* message, GraphEvent& event) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    const GstStructure* details = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &error, &debug);
        gst_message_parse_error_details(message, &details);
    } else {
        gst_message_parse_warning(message, &error, &debug);
        gst_message_parse_warning_details(message, &details);
    }
    event.text = error ? QString::fromUtf8(error->message) : QString();
    const gchar* caption =
        details ? gst_structure_get_string(details, ZenmiraVidSource::kSaveErrorCaptionField) : nullptr;
    event.caption = caption ? QString::fromUtf8(caption) : QString();
    guint pin = 0;
    if (details && gst_structure_get_uint(details, kPinField, &pin)) event.camera = int(pin);
    guint lost = 0;
    if (details && gst_structure_get_uint(details, ZenmiraVidSource::kFramesNotSavedField, &lost))
        event.framesNotSaved = int(lost);
    g_clear_error(&error);
    g_free(debug);
}

}  // namespace

VideoGraph& VideoGraph::instance(QObject* notifyWindow) {
    static VideoGraph graph(DevicePool::instance(), notifyWindow);
    return graph;
}

VideoGraph::VideoGraph(DevicePool& pool, QObject* notifyWindow) : notifyWindow_(notifyWindow) {
    pipeline_ = gst_pipeline_new(nullptr);
    gst_object_ref_sink(pipeline_);
    displayName_ =
        QString::asprintf("FilterGraph %08x pid %08x", unsigned(reinterpret_cast<std::uintptr_t>(pipeline_)),
                          unsigned(getpid()));
    gst_object_set_name(GST_OBJECT(pipeline_), displayName_.toUtf8().constData());
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &VideoGraph::onBusMessage, this, nullptr);
    gst_object_unref(bus);

    source_ = gst_element_factory_make(ZenmiraVidSource::kElementName, kSourceName);
    if (!source_) {
        release();
        throw CBad_video_graph(
            "The GStreamer element \"zenmirasrc\" (plugin zenmiravidsource) cannot be created.\n"
            "Install the plugin libgstzenmiravidsource.so into a GStreamer plugin folder, or set "
            "GST_PLUGIN_PATH to the folder that holds it.");
    }
    gst_object_ref_sink(source_);
    filter_ = filterOf(source_);
    auto* devices =
        queryFilter<ZenmiraVidSource::IDeviceSource>(filter_, ZenmiraVidSource::IID_IDeviceSource);
    if (!devices) {
        release();
        throw CBad_video_graph(
            "The GStreamer element \"zenmirasrc\" offers no camera interface: the plugin does not match "
            "this viewer. Install the plugin built with it.");
    }
    gst_bin_add(GST_BIN(pipeline_), source_);

    unsigned index = 0;
    for (auto& entry : pool) {
        devices->AddDevice(entry.second.device());
        auto renderer = std::make_unique<VideoRenderer>();
        if (!renderer->element()) {
            release();
            throw CBad_video_graph(
                "The GStreamer element \"appsink\" cannot be created. Install the Debian package "
                "gstreamer1.0-plugins-base.");
        }
        const std::string name = "VMR-9 " + std::to_string(index++);
        gst_object_set_name(GST_OBJECT(renderer->element()), name.c_str());
        gst_bin_add(GST_BIN(pipeline_), renderer->element());
        renderers_.push_back(std::move(renderer));
    }
}

VideoGraph::~VideoGraph() {
    release();
}

void VideoGraph::release() {
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    {
        std::lock_guard lock(notifyMutex_);
        for (GstMessage* message : pending_) gst_message_unref(message);
        pending_.clear();
    }
    renderers_.clear();
    if (source_) gst_object_unref(std::exchange(source_, nullptr));
    if (pipeline_) gst_object_unref(std::exchange(pipeline_, nullptr));
    filter_ = nullptr;
}

GstBusSyncReply VideoGraph::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* graph = static_cast<VideoGraph*>(self);
    std::lock_guard lock(graph->notifyMutex_);
    // Kept here instead of passed on to the bus, which would queue it only after this returns:
    // the window's thread could otherwise take the notification before the message is there.
    graph->pending_.push_back(message);
    if (graph->notifyWindow_)
        QCoreApplication::postEvent(graph->notifyWindow_, new QEvent(viewer_events::WM_GRAPH_EVENT));
    return GST_BUS_DROP;
}

QString VideoGraph::sourceFilterName() const {
    return QString::fromUtf8(GST_OBJECT_NAME(source_));
}

void VideoGraph::setNotifyWindow(QObject* window) {
    std::lock_guard lock(notifyMutex_);
    notifyWindow_ = window;
}

VideoRenderer* VideoGraph::renderer(int index) const {
    return index >= 0 && index < rendererCount() ? renderers_[index].get() : nullptr;
}

void VideoGraph::attachAll(QObject* view) {
    for (int i = 0; i < rendererCount(); ++i) attachOne(view, i);
}

void VideoGraph::attachOne(QObject* view, int index) {
    if (!view || !renderer(index)) return;
    viewer_events::AttachRendererEvent attach(index, renderers_[index].get());
    QCoreApplication::sendEvent(view, &attach);
}

void VideoGraph::render() {
    for (auto& renderer : renderers_) {
        GstPad* free = nullptr;
        forEach(gst_element_iterate_src_pads(source_), [&free](gpointer object) {
            auto* pad = GST_PAD(object);
            if (!free && !gst_pad_is_linked(pad)) free = GST_PAD(gst_object_ref(pad));
        });
        if (!free) return;
        GstPad* sinkPad = gst_element_get_static_pad(renderer->element(), "sink");
        gst_pad_link(free, sinkPad);
        gst_object_unref(sinkPad);
        gst_object_unref(free);
    }
}

void VideoGraph::run() {
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void VideoGraph::stop() {
    if (auto* control =
            queryFilter<ZenmiraVidSource::ISnapshotControl>(filter_, ZenmiraVidSource::IID_ISnapshotControl))
        control->BreakWait();
    gst_element_set_state(pipeline_, GST_STATE_READY);
}

void VideoGraph::rebuild() {
    disconnectAll();
    render();
}

void VideoGraph::disconnectAll() {
    forEach(gst_bin_iterate_elements(GST_BIN(pipeline_)), [](gpointer element) {
        forEach(gst_element_iterate_src_pads(GST_ELEMENT(element)), [](gpointer object) {
            auto* pad = GST_PAD(object);
            if (GstPad* peer = gst_pad_get_peer(pad)) {
                gst_pad_unlink(pad, peer);
                gst_object_unref(peer);
            }
        });
    });
}

int VideoGraph::addToRot() {
    dumpGraph();
    return 0;
}

void VideoGraph::dumpGraph() const {
    const char* folder = std::getenv("GST_DEBUG_DUMP_DOT_DIR");
    if (folder && *folder)
        GST_DEBUG_BIN_TO_DOT_FILE(GST_BIN(pipeline_), GST_DEBUG_GRAPH_SHOW_ALL,
                                  displayName_.toUtf8().constData());
}

void VideoGraph::teardown() {
    stop();
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    std::vector<GstElement*> elements;
    forEach(gst_bin_iterate_elements(GST_BIN(pipeline_)),
            [&elements](gpointer element) { elements.push_back(GST_ELEMENT(gst_object_ref(element))); });
    for (GstElement* element : elements) {
        gst_bin_remove(GST_BIN(pipeline_), element);
        gst_object_unref(element);
    }
    renderers_.clear();
}

bool VideoGraph::getEvent(GraphEvent& event) {
    GstMessage* message = nullptr;
    {
        std::lock_guard lock(notifyMutex_);
        if (pending_.empty()) return false;
        message = pending_.front();
        pending_.pop_front();
    }
    event = GraphEvent{};
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* s = gst_message_get_structure(message);
            int code = 0;
            if (GST_MESSAGE_SRC(message) == GST_OBJECT(source_) && s &&
                gst_structure_has_name(s, ZenmiraVidSource::kGraphEventMessage) &&
                gst_structure_get_int(s, kEventCodeField, &code))
                event.code = code;
            break;
        }
        case GST_MESSAGE_WARNING:
            event.code = GraphEvent::EC_ELEMENT_WARNING;
            readProblem(message, event);
            break;
        case GST_MESSAGE_ERROR:
            event.code = GraphEvent::EC_ERRORABORT;
            readProblem(message, event);
            break;
        case GST_MESSAGE_STATE_CHANGED:
            if (GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) {
                GstState newState;
                gst_message_parse_state_changed(message, nullptr, &newState, nullptr);
                if (newState == GST_STATE_PLAYING) dumpGraph();  // the picture with negotiated caps
            }
            break;
        default:
            break;
    }
    gst_message_unref(message);
    return true;
}
