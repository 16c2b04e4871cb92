#include "videorenderer.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QCoreApplication>
#include <QPainter>
#include <utility>

namespace {

// Posted by the streaming thread when a picture is waiting.
constexpr QEvent::Type kPictureArrived = QEvent::Type(QEvent::User + 0x100);
constexpr qint64 kRateWindowMs = 1000;
// Frame periods without a picture after which a camera counts as silent.
constexpr double kSilentFramePeriods = 2;
// 32-bit pictures paint without conversion; 24-bit ones are accepted as well.
constexpr const char* kSinkCaps = "video/x-raw, format=(string){ BGRx, BGR }";

}  // namespace

VideoRenderer::VideoRenderer() {
    sink_ = gst_element_factory_make("appsink", nullptr);
    if (!sink_) return;
    gst_object_ref_sink(sink_);
    GstCaps* caps = gst_caps_from_string(kSinkCaps);
    // No timestamps come from the source: show every picture as it arrives, keep none queued.
    g_object_set(sink_, "caps", caps, "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "enable-last-sample",
                 FALSE, "qos", FALSE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &VideoRenderer::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink_), &callbacks, this, nullptr);
}

VideoRenderer::~VideoRenderer() {
    if (sink_) {
        GstAppSinkCallbacks none{};
        gst_app_sink_set_callbacks(GST_APP_SINK(sink_), &none, nullptr, nullptr);
        gst_object_unref(sink_);
    }
    if (latest_) gst_sample_unref(latest_);
    if (shown_) {
        gst_buffer_unmap(gst_sample_get_buffer(shown_), &shownMap_);
        gst_sample_unref(shown_);
    }
}

GstFlowReturn VideoRenderer::onNewSample(GstAppSink* sink, gpointer self) {
    auto* renderer = static_cast<VideoRenderer*>(self);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    bool postEvent = false;
    {
        std::lock_guard lock(renderer->mutex_);
        if (renderer->latest_) {
            gst_sample_unref(renderer->latest_);
            ++renderer->droppedPending_;
        }
        renderer->latest_ = sample;
        postEvent = !std::exchange(renderer->pictureEventPending_, true);
    }
    if (postEvent) QCoreApplication::postEvent(renderer, new QEvent(kPictureArrived));
    return GST_FLOW_OK;
}

bool VideoRenderer::event(QEvent* event) {
    if (event->type() != kPictureArrived) return VideoWindowlessControl::event(event);
    takeLatestPicture();
    return true;
}

void VideoRenderer::takeLatestPicture() {
    GstSample* sample = nullptr;
    {
        std::lock_guard lock(mutex_);
        sample = std::exchange(latest_, nullptr);
        pictureEventPending_ = false;
        statistics_.dropped += std::exchange(droppedPending_, 0);
    }
    if (!sample) return;

    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) || !buffer ||
        !gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return;
    }
    if (shown_) {
        gst_buffer_unmap(gst_sample_get_buffer(shown_), &shownMap_);
        gst_sample_unref(shown_);
    }
    shown_ = sample;
    shownMap_ = map;
    const QImage::Format format =
        GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGR ? QImage::Format_BGR888 : QImage::Format_RGB32;
    // The image wraps the sample's memory: the picture is never copied on its way to the screen.
    image_ = QImage(map.data, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                    GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), format);

    // The first picture after a silence starts the rate's measurement afresh.
    if (silent()) {
        statistics_.framesPerSecond = 0;
        rateWindow_.invalidate();
    }
    ++statistics_.shown;
    sinceLastPicture_.start();
    if (!rateWindow_.isValid()) {
        rateWindow_.start();
        shownAtWindowStart_ = statistics_.shown;
    } else if (rateWindow_.elapsed() >= kRateWindowMs) {
        statistics_.framesPerSecond =
            double(statistics_.shown - shownAtWindowStart_) * 1000.0 / double(rateWindow_.restart());
        shownAtWindowStart_ = statistics_.shown;
    }

    if (image_.size() != nativeSize_) {
        nativeSize_ = image_.size();
        Q_EMIT nativeSizeChanged();
    }
    if (clippingWindow_) clippingWindow_->update(destination_);
}

bool VideoRenderer::silent() const {
    return statistics_.framesPerSecond > 0 && sinceLastPicture_.isValid() &&
           double(sinceLastPicture_.elapsed()) > kSilentFramePeriods * 1000.0 / statistics_.framesPerSecond;
}

VideoRenderer::Statistics VideoRenderer::statistics() const {
    Statistics now = statistics_;
    if (silent()) now.framesPerSecond = 0;
    return now;
}

bool VideoRenderer::GetNativeVideoSize(int* width, int* height) const {
    if (width) *width = nativeSize_.width();
    if (height) *height = nativeSize_.height();
    return !nativeSize_.isEmpty();
}

void VideoRenderer::SetVideoPosition(const QRect* source, const QRect* destination) {
    if (clippingWindow_) clippingWindow_->update(destination_);
    if (source) source_ = *source;
    if (destination) destination_ = *destination;
    if (clippingWindow_) clippingWindow_->update(destination_);
}

void VideoRenderer::GetVideoPosition(QRect* source, QRect* destination) const {
    if (source) *source = source_;
    if (destination) *destination = destination_;
}

void VideoRenderer::RepaintVideo(QPainter& painter) {
    if (image_.isNull() || destination_.isEmpty()) return;
    const QRect source = source_.isEmpty() ? image_.rect() : source_;
    painter.drawImage(destination_, image_, source);
}

void VideoRenderer::SetVideoClippingWindow(QWidget* window) {
    if (clippingWindow_ && clippingWindow_ != window) clippingWindow_->update();
    clippingWindow_ = window;
}
