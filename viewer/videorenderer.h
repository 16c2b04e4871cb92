// The renderer of one camera: an appsink whose pictures are painted into the pane it is clipped to.
//
// Threads: the appsink hands every sample over on the pin's streaming thread (onNewSample); the
// renderer keeps only the latest one under mutex_ and posts one event to itself on the GUI thread,
// where the picture is taken over and the clipping window repainted. A picture that is replaced
// before the GUI thread took it is dropped and counted; the streaming thread never waits for the
// GUI. Everything else runs on the GUI thread.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <mutex>

#include "videocontrol.h"

class VideoRenderer final : public VideoWindowlessControl {
    Q_OBJECT

public:
    // Creates the appsink; null element() when the appsink plugin is missing.
    VideoRenderer();
    ~VideoRenderer() override;

    // The appsink (the renderer holds a reference; the graph adds it to the pipeline).
    GstElement* element() const { return sink_; }

    bool GetNativeVideoSize(int* width, int* height) const override;
    void SetVideoPosition(const QRect* source, const QRect* destination) override;
    void GetVideoPosition(QRect* source, QRect* destination) const override;
    void RepaintVideo(QPainter& painter) override;
    void SetVideoClippingWindow(QWidget* window) override;
    QWidget* GetVideoClippingWindow() const override { return clippingWindow_; }

    // Pictures shown, pictures dropped because a newer one arrived first, and the rate of the
    // pictures shown over the last second; the rate is 0 once no picture came for two frame
    // periods of it (a camera in software trigger mode, or lost).
    struct Statistics {
        quint64 shown = 0;
        quint64 dropped = 0;
        double framesPerSecond = 0;
    };
    Statistics statistics() const;

protected:
    bool event(QEvent* event) override;

private:
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    void takeLatestPicture();
    // No picture came for two frame periods of the last rate.
    bool silent() const;

    GstElement* sink_ = nullptr;

    std::mutex mutex_;             // guards latest_, pictureEventPending_, droppedPending_
    GstSample* latest_ = nullptr;  // newest sample the GUI thread has not taken yet
    bool pictureEventPending_ = false;
    quint64 droppedPending_ = 0;

    // GUI thread only.
    GstSample* shown_ = nullptr;  // the sample whose mapped memory image_ wraps
    GstMapInfo shownMap_{};
    QImage image_;
    QSize nativeSize_;
    QRect source_, destination_;
    QPointer<QWidget> clippingWindow_;
    Statistics statistics_;
    QElapsedTimer rateWindow_;
    quint64 shownAtWindowStart_ = 0;
    QElapsedTimer sinceLastPicture_;
};
