// The element maps the filter onto GStreamer: one "src_%u" pad per filter pin, states to
// streaming tasks, the filter's events to bus messages, and recording and crosshair settings to
// properties and action signals. Everything else is the filter's (zmsourcefilter).
#include "zenmirasrc.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "imagecodec.h"
#include "padstream.h"
#include "platform/text.h"
#include "standalonecameras.h"
#include "zenmiravidsource/element.h"
#include "zmsourcefilter.h"

GST_DEBUG_CATEGORY(zenmirasrc_debug);
#define GST_CAT_DEFAULT zenmirasrc_debug

namespace ZenmiraVidSource {
namespace {

// What the element keeps beside the filter. Lock order: streamsMutex_, then the filter lock.
class ElementState final : public FilterEventSink {
public:
    explicit ElementState(GstElement* element) : element_(element) { filter.setEventSink(this); }
    ~ElementState() {
        streams_.clear();  // tasks end before the pins they read go away
    }

    void onPinAdded(unsigned pinIndex) override;
    void onGraphEvent(unsigned pin, std::int32_t code, std::int32_t param1, std::int32_t param2) override;
    void onSaveError(unsigned pin, const std::string& caption, const std::string& text,
                     std::int32_t framesNotSaved) override;

    // State changes (the element's state lock is held by the caller).
    bool startCameras();
    void stopCameras();
    void startStreams();
    void pauseStreams();
    // EOS sent to the element: the series stops and every pad ends its stream after the picture
    // in flight. Any thread.
    void endOfStream();

    // Recording and crosshair settings of the properties: applied to every pin now and to pins
    // added later. Control thread.
    void setFolder(const std::string& folder);
    void setFileFormat(const std::string& format);
    void setSeries(bool on);
    void setCrosshair(bool shown, std::int32_t x, std::int32_t y);
    void snapshotAll();
    // Posts the settings warnings that came before the element had a bus (NULL to READY).
    void postHeldWarnings();

    StandaloneCameras cameras;  // declared before the filter: closed after the pins left them
    ZmSourceFilter filter;

    std::string folder;
    std::string fileFormat = "tiff";
    bool series = false;
    bool crosshairShown = false;
    std::int32_t crosshairX = 0;
    std::int32_t crosshairY = 0;

private:
    void applySettings(unsigned pin);
    // A property value was refused. Properties are often set before the element is in a pipeline
    // (gst-launch does so): the warning is then held until the element has a bus.
    void warnAboutSettings(const std::string& text);

    GstElement* element_;
    bool standalone_ = false;
    std::vector<std::string> heldWarnings_;  // control thread only
    std::mutex streamsMutex_;                // guards streams_
    std::vector<std::unique_ptr<PadStream>> streams_;
};

void ElementState::onPinAdded(unsigned pinIndex) {
    ZmSourceFltPin* pin = filter.pin(pinIndex);
    GstPadTemplate* padTemplate =
        gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(element_), "src_%u");
    auto stream = std::make_unique<PadStream>(*pin, padTemplate);
    PadStream* added = stream.get();
    {
        std::lock_guard guard(streamsMutex_);
        streams_.push_back(std::move(stream));
    }
    applySettings(pinIndex);
    GST_OBJECT_LOCK(element_);
    const GstState state = GST_STATE(element_);
    GST_OBJECT_UNLOCK(element_);
    // A pad added while the element runs is activated here; otherwise the state change does it.
    if (state >= GST_STATE_PAUSED) gst_pad_set_active(added->pad(), TRUE);
    gst_element_add_pad(element_, added->pad());
    if (state == GST_STATE_PLAYING) added->start();
}

void ElementState::onGraphEvent(unsigned pin, std::int32_t code, std::int32_t param1, std::int32_t param2) {
    gchar* padName = g_strdup_printf("src_%u", pin);
    GstStructure* structure = gst_structure_new(kGraphEventMessage, "code", G_TYPE_INT, code, "param1",
                                                G_TYPE_INT, param1, "param2", G_TYPE_INT, param2, "pin",
                                                G_TYPE_UINT, pin, "pad", G_TYPE_STRING, padName, nullptr);
    g_free(padName);
    gst_element_post_message(element_, gst_message_new_element(GST_OBJECT(element_), structure));
}

void ElementState::onSaveError(unsigned pin, const std::string& caption, const std::string& text,
                               std::int32_t framesNotSaved) {
    // Posting does not wait for the application: the producer thread goes on at once.
    GST_ELEMENT_WARNING_WITH_DETAILS(
        element_, RESOURCE, OPEN_WRITE, ("%s", text.c_str()), ("%s", caption.c_str()),
        (kSaveErrorCaptionField, G_TYPE_STRING, caption.c_str(), "pin", G_TYPE_UINT, pin,
         kFramesNotSavedField, G_TYPE_UINT, static_cast<guint>(framesNotSaved), nullptr));
}

bool ElementState::startCameras() {
    // Standalone only when nothing was handed in before the first start.
    if (!standalone_ && filter.pinCount() > 0) return true;
    if (!cameras.discover() || !cameras.openAll()) {
        GST_ELEMENT_ERROR(element_, RESOURCE, NOT_FOUND, ("%s", cameras.error().c_str()), (nullptr));
        return false;
    }
    const auto& devices = cameras.devices();
    if (!standalone_) {
        standalone_ = true;
        for (ZmCoreLib::IDevice* device : devices) filter.AddDevice(device);
        gst_element_no_more_pads(element_);
    } else {
        for (unsigned i = 0; i < devices.size(); ++i) filter.pin(i)->bind(devices[i]);
    }
    return true;
}

void ElementState::stopCameras() {
    if (!standalone_) return;
    for (unsigned i = 0; i < filter.pinCount(); ++i) filter.pin(i)->unbind();
    cameras.closeAll();
}

void ElementState::startStreams() {
    std::lock_guard guard(streamsMutex_);
    for (auto& stream : streams_) stream->start();
}

void ElementState::pauseStreams() {
    std::lock_guard guard(streamsMutex_);
    for (auto& stream : streams_) stream->pause();
}

void ElementState::endOfStream() {
    if (series) {
        setSeries(false);
        g_object_notify(G_OBJECT(element_), "series");
    }
    std::lock_guard guard(streamsMutex_);
    for (auto& stream : streams_) stream->endOfStream();
}

void ElementState::applySettings(unsigned pin) {
    const std::u16string folder16 = platform::toUtf16(folder);
    const std::u16string format16 = platform::toUtf16(fileFormat);
    filter.SetFolder(folder16.c_str(), pin);
    filter.SetFileFormat(format16.c_str(), pin);
    if (series) filter.SetSeries(true, pin);
    if (pin == 0) setCrosshair(crosshairShown, crosshairX, crosshairY);
}

void ElementState::setFolder(const std::string& value) {
    folder = value;
    const std::u16string text = platform::toUtf16(value);
    for (unsigned pin = 0; pin < filter.pinCount(); ++pin) filter.SetFolder(text.c_str(), pin);
}

void ElementState::setFileFormat(const std::string& value) {
    const std::u16string text = platform::toUtf16(value);
    if (std::u16string_view(kSupportedFileFormats).find(text) == std::u16string_view::npos) {
        warnAboutSettings("Unknown file format \"" + value + "\": use bmp or tiff. The format stays " +
                          fileFormat + ".");
        return;
    }
    fileFormat = value;
    for (unsigned pin = 0; pin < filter.pinCount(); ++pin) filter.SetFileFormat(text.c_str(), pin);
}

void ElementState::warnAboutSettings(const std::string& text) {
    GstBus* bus = gst_element_get_bus(element_);
    if (!bus) {
        heldWarnings_.push_back(text);
        return;
    }
    gst_object_unref(bus);
    GST_ELEMENT_WARNING(element_, RESOURCE, SETTINGS, ("%s", text.c_str()), (nullptr));
}

void ElementState::postHeldWarnings() {
    std::vector<std::string> held;
    held.swap(heldWarnings_);
    for (const std::string& text : held) warnAboutSettings(text);
}

void ElementState::setSeries(bool on) {
    series = on;
    for (unsigned pin = 0; pin < filter.pinCount(); ++pin) filter.SetSeries(on, pin);
}

void ElementState::setCrosshair(bool shown, std::int32_t x, std::int32_t y) {
    crosshairShown = shown;
    crosshairX = x;
    crosshairY = y;
    // Hide before moving, show after moving: no picture shows the crosshair at a half-set place.
    if (!shown) filter.SetShow(false);
    filter.SetPosition(x, y);
    if (shown) filter.SetShow(true);
}

void ElementState::snapshotAll() {
    for (unsigned pin = 0; pin < filter.pinCount(); ++pin) filter.Snapshot(pin);
}

}  // namespace
}  // namespace ZenmiraVidSource

using ZenmiraVidSource::ElementState;

struct _GstZenmiraSrc {
    GstElement parent;
    ElementState* state;
};

G_DEFINE_TYPE(GstZenmiraSrc, gst_zenmira_src, GST_TYPE_ELEMENT)

GST_ELEMENT_REGISTER_DEFINE(zenmirasrc, "zenmirasrc", GST_RANK_MARGINAL, GST_TYPE_ZENMIRA_SRC)

namespace {

enum Property {
    kPropFolder = 1,
    kPropFileFormat,
    kPropSeries,
    kPropCrosshair,
    kPropCrosshairX,
    kPropCrosshairY
};

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src_%u", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS("video/x-raw, format = (string) { BGR, BGRx, BGRA }, width = (int) [ 1, 65535 ], "
                    "height = (int) [ 1, 65535 ], framerate = (fraction) 0/1, "
                    "pixel-aspect-ratio = (fraction) 1/1"));

ElementState& stateOf(gpointer object) {
    return *GST_ZENMIRA_SRC(object)->state;
}

gpointer queryInterface(GstZenmiraSrc* self, gpointer iid) {
    void* object = nullptr;
    if (iid) self->state->filter.QueryInterface(*static_cast<const ZenmiraVidSource::Guid*>(iid), &object);
    return object;
}

gboolean snapshot(GstZenmiraSrc* self, guint pin) {
    return self->state->filter.Snapshot(pin) == ZenmiraVidSource::S_OK;
}

void snapshotAll(GstZenmiraSrc* self) {
    self->state->snapshotAll();
}

void breakWait(GstZenmiraSrc* self) {
    self->state->filter.BreakWait();
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    ElementState& state = stateOf(object);
    switch (id) {
        case kPropFolder: {
            const gchar* text = g_value_get_string(value);
            state.setFolder(text ? text : "");
            break;
        }
        case kPropFileFormat: {
            const gchar* text = g_value_get_string(value);
            state.setFileFormat(text ? text : "");
            break;
        }
        case kPropSeries:
            state.setSeries(g_value_get_boolean(value));
            break;
        case kPropCrosshair:
            state.setCrosshair(g_value_get_boolean(value), state.crosshairX, state.crosshairY);
            break;
        case kPropCrosshairX:
            state.setCrosshair(state.crosshairShown, g_value_get_int(value), state.crosshairY);
            break;
        case kPropCrosshairY:
            state.setCrosshair(state.crosshairShown, state.crosshairX, g_value_get_int(value));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    ElementState& state = stateOf(object);
    switch (id) {
        case kPropFolder:
            g_value_set_string(value, state.folder.c_str());
            break;
        case kPropFileFormat:
            g_value_set_string(value, state.fileFormat.c_str());
            break;
        case kPropSeries:
            g_value_set_boolean(value, state.series);
            break;
        case kPropCrosshair:
            g_value_set_boolean(value, state.crosshairShown);
            break;
        case kPropCrosshairX:
            g_value_set_int(value, state.crosshairX);
            break;
        case kPropCrosshairY:
            g_value_set_int(value, state.crosshairY);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
    ElementState& state = stateOf(element);
    switch (transition) {
        case GST_STATE_CHANGE_NULL_TO_READY:
            state.postHeldWarnings();
            break;
        case GST_STATE_CHANGE_READY_TO_PAUSED:
            if (!state.startCameras()) return GST_STATE_CHANGE_FAILURE;
            break;
        case GST_STATE_CHANGE_PLAYING_TO_PAUSED:
            state.pauseStreams();
            break;
        default:
            break;
    }
    GstStateChangeReturn result =
        GST_ELEMENT_CLASS(gst_zenmira_src_parent_class)->change_state(element, transition);
    if (result == GST_STATE_CHANGE_FAILURE) return result;
    switch (transition) {
        case GST_STATE_CHANGE_READY_TO_PAUSED:
        case GST_STATE_CHANGE_PLAYING_TO_PAUSED:
            // Cameras are live: nothing to preroll.
            result = GST_STATE_CHANGE_NO_PREROLL;
            break;
        case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
            state.startStreams();
            break;
        case GST_STATE_CHANGE_PAUSED_TO_READY:
            state.stopCameras();
            break;
        default:
            break;
    }
    return result;
}

gboolean sendEvent(GstElement* element, GstEvent* event) {
    if (GST_EVENT_TYPE(event) != GST_EVENT_EOS)
        return GST_ELEMENT_CLASS(gst_zenmira_src_parent_class)->send_event(element, event);
    gst_event_unref(event);
    stateOf(element).endOfStream();
    return TRUE;
}

void finalize(GObject* object) {
    delete GST_ZENMIRA_SRC(object)->state;
    G_OBJECT_CLASS(gst_zenmira_src_parent_class)->finalize(object);
}

}  // namespace

static void gst_zenmira_src_class_init(GstZenmiraSrcClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    GST_DEBUG_CATEGORY_INIT(zenmirasrc_debug, "zenmirasrc", 0, "Zenmira camera source");

    objectClass->set_property = setProperty;
    objectClass->get_property = getProperty;
    objectClass->finalize = finalize;
    elementClass->change_state = changeState;
    elementClass->send_event = sendEvent;

    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        objectClass, kPropFolder,
        g_param_spec_string("folder", "Folder",
                            "Folder that snapshots and series files of every camera go to", "", flags));
    g_object_class_install_property(
        objectClass, kPropFileFormat,
        g_param_spec_string("file-format", "File format", "Format of snapshot and series files: bmp or tiff",
                            "tiff", flags));
    g_object_class_install_property(
        objectClass, kPropSeries,
        g_param_spec_boolean(
            "series", "Series",
            "Write every arriving frame of every camera to the folder (file names count from 0 "
            "each time this is switched)",
            FALSE, flags));
    g_object_class_install_property(
        objectClass, kPropCrosshair,
        g_param_spec_boolean("crosshair", "Crosshair", "Draw a red crosshair into the first camera's picture",
                             FALSE, flags));
    g_object_class_install_property(
        objectClass, kPropCrosshairX,
        g_param_spec_int("crosshair-x", "Crosshair X", "Crosshair column, from the left of the picture",
                         G_MININT, G_MAXINT, 0, flags));
    g_object_class_install_property(
        objectClass, kPropCrosshairY,
        g_param_spec_int("crosshair-y", "Crosshair Y", "Crosshair row, from the bottom of the picture",
                         G_MININT, G_MAXINT, 0, flags));

    const auto action = static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION);
    g_signal_new_class_handler(ZenmiraVidSource::kQueryInterfaceSignal, G_TYPE_FROM_CLASS(klass), action,
                               G_CALLBACK(queryInterface), nullptr, nullptr, nullptr, G_TYPE_POINTER, 1,
                               G_TYPE_POINTER);
    g_signal_new_class_handler("snapshot", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(snapshot), nullptr,
                               nullptr, nullptr, G_TYPE_BOOLEAN, 1, G_TYPE_UINT);
    g_signal_new_class_handler("snapshot-all", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(snapshotAll),
                               nullptr, nullptr, nullptr, G_TYPE_NONE, 0);
    g_signal_new_class_handler("break-wait", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(breakWait), nullptr,
                               nullptr, nullptr, G_TYPE_NONE, 0);

    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Zenmira Source Filter", "Source/Video",
                                          "Live pictures of Zenmira USB cameras (grey frames with a red "
                                          "border and an optional crosshair), one pad per "
                                          "camera; writes snapshots and series as BMP or TIFF files",
                                          "Zenmira");
}

static void gst_zenmira_src_init(GstZenmiraSrc* self) {
    // A bin hands EOS and other source events to the elements flagged as sources.
    GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SOURCE);
    self->state = new ElementState(GST_ELEMENT(self));
}
