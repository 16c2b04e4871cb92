#include "padstream.h"

#include <algorithm>

#include "zenmiravidsource/hresult.h"

GST_DEBUG_CATEGORY_EXTERN(zenmirasrc_debug);
#define GST_CAT_DEFAULT zenmirasrc_debug

namespace ZenmiraVidSource {

namespace {

constexpr int kOfferedPositions = 3;

struct FormatOfSubtype {
    const Guid* subtype;
    GstVideoFormat format;
};
// GStreamer names pixel formats by byte order in memory: RGB24 is B, G, R; RGB32 is B, G, R, x.
constexpr FormatOfSubtype kFormats[] = {{&MEDIASUBTYPE_RGB24, GST_VIDEO_FORMAT_BGR},
                                        {&MEDIASUBTYPE_RGB32, GST_VIDEO_FORMAT_BGRx},
                                        {&MEDIASUBTYPE_ARGB32, GST_VIDEO_FORMAT_BGRA}};

GstCaps* capsOfMediaType(const MediaType& type) {
    for (const auto& entry : kFormats) {
        if (type.subtype == *entry.subtype) {
            return gst_caps_new_simple(
                "video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(entry.format), "width",
                G_TYPE_INT, type.header.biWidth, "height", G_TYPE_INT, type.header.biHeight, "framerate",
                GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        }
    }
    return nullptr;
}

// The media type that negotiated caps stand for; a format we do not know gets an empty subtype
// and is refused by the pin.
MediaType mediaTypeOfCaps(const GstVideoInfo& info) {
    MediaType type;
    type.majorType = MEDIATYPE_Video;
    type.formatType = FORMAT_VideoInfo;
    for (const auto& entry : kFormats)
        if (GST_VIDEO_INFO_FORMAT(&info) == entry.format) type.subtype = *entry.subtype;
    type.header.biSize = 40;
    type.header.biWidth = GST_VIDEO_INFO_WIDTH(&info);
    type.header.biHeight = GST_VIDEO_INFO_HEIGHT(&info);
    type.header.biPlanes = 1;
    type.header.biBitCount = static_cast<std::uint16_t>(GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0) * 8);
    type.header.biSizeImage = bitmapImageBytes(type.header);
    type.sampleSize = type.header.biSizeImage;
    return type;
}

// The element's buffer pool as the pin sizes it.
class PoolAllocator final : public SampleAllocator {
public:
    PoolAllocator(GstBufferPool* pool, GstCaps* caps, const GstVideoInfo& info, guint maxBuffers)
        : pool_(pool), caps_(caps), info_(info), maxBuffers_(maxBuffers) {}

    bool SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) override {
        GstStructure* config = gst_buffer_pool_get_config(pool_);
        const guint size =
            std::max<guint>(static_cast<guint>(request.bufferSize), GST_VIDEO_INFO_SIZE(&info_));
        const guint buffers = static_cast<guint>(request.buffers);
        gst_buffer_pool_config_set_params(config, caps_, size, buffers,
                                          maxBuffers_ == 0 ? 0 : std::max(maxBuffers_, buffers));
        if (gst_buffer_pool_has_option(pool_, GST_BUFFER_POOL_OPTION_VIDEO_META))
            gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
        if (!gst_buffer_pool_set_config(pool_, config)) {
            // The pool may have adjusted the configuration; take it when it still fits.
            config = gst_buffer_pool_get_config(pool_);
            if (!gst_buffer_pool_config_validate_params(config, caps_, size, buffers, 0) ||
                !gst_buffer_pool_set_config(pool_, config))
                return false;
        }
        config = gst_buffer_pool_get_config(pool_);
        guint actualSize = 0, actualMin = 0, actualMax = 0;
        gst_buffer_pool_config_get_params(config, nullptr, &actualSize, &actualMin, &actualMax);
        gst_structure_free(config);
        actual->bufferSize = static_cast<std::int32_t>(actualSize);
        actual->buffers = static_cast<std::int32_t>(actualMin);
        return true;
    }

private:
    GstBufferPool* pool_;
    GstCaps* caps_;
    const GstVideoInfo& info_;
    guint maxBuffers_;
};

}  // namespace

PadStream::PadStream(ZmSourceFltPin& pin, GstPadTemplate* padTemplate) : pin_(pin) {
    gchar* name = g_strdup_printf("src_%u", pin.index());
    pad_ = gst_pad_new_from_template(padTemplate, name);
    g_free(name);
    gst_object_ref_sink(pad_);
    gst_pad_set_element_private(pad_, this);
    gst_pad_set_activatemode_function(pad_, &PadStream::onActivateMode);
    gst_pad_set_query_function(pad_, &PadStream::onQuery);
    gst_pad_set_event_function(pad_, &PadStream::onEvent);
    gst_video_info_init(&info_);
}

PadStream::~PadStream() {
    stop();
    gst_pad_set_element_private(pad_, nullptr);
    gst_object_unref(pad_);
}

void PadStream::start() {
    std::lock_guard guard(taskMutex_);
    playStarted_ = false;
    streaming_ = true;
    gst_pad_start_task(pad_, &PadStream::loop, this, nullptr);
}

void PadStream::pause() {
    {
        std::lock_guard guard(taskMutex_);
        streaming_ = false;
    }
    pin_.BreakWait();
}

void PadStream::stop() {
    pause();
    {
        std::lock_guard guard(taskMutex_);
        if (pool_) gst_buffer_pool_set_flushing(pool_, TRUE);
    }
    gst_pad_stop_task(pad_);
    releasePool();
}

void PadStream::endOfStream() {
    {
        std::lock_guard guard(taskMutex_);
        eosRequested_ = true;
    }
    pin_.BreakWait();
}

gboolean PadStream::onActivateMode(GstPad* pad, GstObject*, GstPadMode mode, gboolean active) {
    auto* self = static_cast<PadStream*>(gst_pad_get_element_private(pad));
    if (mode != GST_PAD_MODE_PUSH || !self) return FALSE;
    if (!active) {
        self->stop();
        self->pin_.clearConnection();
    } else {
        std::lock_guard guard(self->taskMutex_);
        self->eosRequested_ = false;
    }
    self->needsStreamStart_ = true;
    self->needsNegotiation_ = true;
    return TRUE;
}

gboolean PadStream::onQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
    auto* self = static_cast<PadStream*>(gst_pad_get_element_private(pad));
    switch (GST_QUERY_TYPE(query)) {
        case GST_QUERY_CAPS: {
            if (!self) break;
            GstCaps* filter = nullptr;
            gst_query_parse_caps(query, &filter);
            GstCaps* caps = self->offeredCaps();
            if (filter) {
                GstCaps* intersection = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
                gst_caps_unref(caps);
                caps = intersection;
            }
            gst_query_set_caps_result(query, caps);
            gst_caps_unref(caps);
            return TRUE;
        }
        case GST_QUERY_LATENCY:
            // A live source: a frame is pushed as soon as it is converted.
            gst_query_set_latency(query, TRUE, 0, GST_CLOCK_TIME_NONE);
            return TRUE;
        default:
            break;
    }
    return gst_pad_query_default(pad, parent, query);
}

gboolean PadStream::onEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_SEEK:
            // Live cameras cannot seek.
            gst_event_unref(event);
            return FALSE;
        default:
            return gst_pad_event_default(pad, parent, event);
    }
}

void PadStream::loop(gpointer self) {
    static_cast<PadStream*>(self)->step();
}

GstCaps* PadStream::offeredCaps() const {
    GstCaps* caps = gst_caps_new_empty();
    for (int position = 0; position < kOfferedPositions; ++position) {
        MediaType type;
        if (pin_.GetMediaType(position, &type) != S_OK) break;
        if (GstCaps* one = capsOfMediaType(type)) gst_caps_append(caps, one);
    }
    return caps;
}

bool PadStream::eosRequested() {
    std::lock_guard guard(taskMutex_);
    return eosRequested_;
}

void PadStream::step() {
    bool justStarted = false;
    {
        std::lock_guard guard(taskMutex_);
        if (!streaming_) {
            gst_pad_pause_task(pad_);
            return;
        }
        justStarted = !playStarted_;
        playStarted_ = true;
    }
    if (justStarted) pin_.OnThreadStartPlay();
    if (gst_pad_check_reconfigure(pad_)) needsNegotiation_ = true;
    if (needsNegotiation_ && !negotiate()) {
        if (!GST_PAD_IS_FLUSHING(pad_)) {
            GST_ELEMENT_ERROR(GST_PAD_PARENT(pad_), STREAM, FORMAT,
                              ("Cannot agree on a picture format with the next element."),
                              ("%s: none of BGR, BGRx was accepted downstream", GST_PAD_NAME(pad_)));
            endStream();
        } else {
            gst_pad_pause_task(pad_);
        }
        return;
    }
    // After negotiation: EOS must follow the stream's start.
    if (eosRequested()) {
        endStream();
        return;
    }

    GstBuffer* buffer = nullptr;
    if (gst_buffer_pool_acquire_buffer(pool_, &buffer, nullptr) != GST_FLOW_OK) {
        gst_pad_pause_task(pad_);  // the pool is flushing: the pad is being stopped
        return;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info_, buffer, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(GST_PAD_PARENT(pad_), RESOURCE, WRITE, (nullptr), ("cannot map a sample buffer"));
        endStream();
        return;
    }
    SampleBuffer sample;
    sample.data = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    sample.strideBytes = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    sample.sizeBytes = static_cast<std::size_t>(sample.strideBytes) * GST_VIDEO_FRAME_HEIGHT(&frame);
    const HResult result = pin_.FillBuffer(sample);
    gst_video_frame_unmap(&frame);

    if (result == S_FALSE) {
        // The picture size changed: the pin has told the application; this stream is over.
        gst_buffer_unref(buffer);
        needsNegotiation_ = true;
        needsStreamStart_ = true;
        endStream();
        return;
    }
    if (result != S_OK) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(
            GST_PAD_PARENT(pad_), STREAM, FAILED, ("The picture does not fit the negotiated buffer."),
            ("%s: FillBuffer returned 0x%08x", GST_PAD_NAME(pad_), static_cast<unsigned>(result)));
        endStream();
        return;
    }
    if (!sample.filled) {
        // Woken by BreakWait without a frame: nothing to show.
        gst_buffer_unref(buffer);
        return;
    }
    const GstFlowReturn flow = gst_pad_push(pad_, buffer);
    // A camera whose pad nobody linked keeps running; its pictures are dropped.
    if (flow == GST_FLOW_OK || flow == GST_FLOW_NOT_LINKED) return;
    if (flow == GST_FLOW_FLUSHING) {
        gst_pad_pause_task(pad_);
        return;
    }
    if (flow < GST_FLOW_EOS) GST_ELEMENT_FLOW_ERROR(GST_PAD_PARENT(pad_), flow);
    endStream();
}

bool PadStream::negotiate() {
    GstCaps* offered = offeredCaps();
    GstCaps* peer = gst_pad_peer_query_caps(pad_, offered);
    GstCaps* chosen = nullptr;
    for (guint i = 0; i < gst_caps_get_size(offered) && !chosen; ++i) {
        GstCaps* candidate = gst_caps_copy_nth(offered, i);
        GstVideoInfo info;
        if (gst_caps_can_intersect(candidate, peer) && gst_video_info_from_caps(&info, candidate) &&
            pin_.setConnectionType(mediaTypeOfCaps(info)) == S_OK) {
            chosen = candidate;
            info_ = info;
        } else {
            gst_caps_unref(candidate);
        }
    }
    gst_caps_unref(peer);
    gst_caps_unref(offered);
    if (!chosen) return false;

    if (needsStreamStart_) {
        gchar* streamId =
            gst_pad_create_stream_id(pad_, GST_ELEMENT(GST_PAD_PARENT(pad_)), GST_PAD_NAME(pad_));
        gst_pad_push_event(pad_, gst_event_new_stream_start(streamId));
        g_free(streamId);
    }
    const bool accepted = gst_pad_push_event(pad_, gst_event_new_caps(chosen)) && decideAllocation(chosen);
    gst_caps_unref(chosen);
    if (!accepted) return false;
    if (needsStreamStart_) {
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        gst_pad_push_event(pad_, gst_event_new_segment(&segment));
        needsStreamStart_ = false;
    }
    needsNegotiation_ = false;
    return true;
}

bool PadStream::decideAllocation(GstCaps* caps) {
    releasePool();
    GstQuery* query = gst_query_new_allocation(caps, TRUE);
    gst_pad_peer_query(pad_, query);
    GstBufferPool* pool = nullptr;
    guint size = 0, minBuffers = 0, maxBuffers = 0;
    if (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_parse_nth_allocation_pool(query, 0, &pool, &size, &minBuffers, &maxBuffers);
    gst_query_unref(query);
    if (!pool) pool = gst_video_buffer_pool_new();

    PoolAllocator allocator(pool, caps, info_, maxBuffers);
    AllocatorProperties properties;
    properties.buffers = static_cast<std::int32_t>(minBuffers);
    if (pin_.DecideBufferSize(&allocator, &properties) != S_OK || !gst_buffer_pool_set_active(pool, TRUE)) {
        gst_object_unref(pool);
        return false;
    }
    std::lock_guard guard(taskMutex_);
    pool_ = pool;
    return true;
}

void PadStream::releasePool() {
    GstBufferPool* pool = nullptr;
    {
        std::lock_guard guard(taskMutex_);
        std::swap(pool, pool_);
    }
    if (!pool) return;
    gst_buffer_pool_set_active(pool, FALSE);
    gst_object_unref(pool);
}

void PadStream::endStream() {
    gst_pad_push_event(pad_, gst_event_new_eos());
    gst_pad_pause_task(pad_);
}

}  // namespace ZenmiraVidSource
