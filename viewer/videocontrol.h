// What a video pane needs of a camera's renderer: the picture's native size, where it is drawn,
// and which widget it is drawn into. All operations on the GUI thread.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

class QPainter;
class QWidget;

class VideoWindowlessControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The size of the latest picture; false and 0 x 0 before the first one.
    virtual bool GetNativeVideoSize(int* width, int* height) const = 0;
    // The part of the picture shown (`source`, picture pixels) and where (`destination`, pixels
    // of the clipping window). Either may be null to keep it.
    virtual void SetVideoPosition(const QRect* source, const QRect* destination) = 0;
    virtual void GetVideoPosition(QRect* source, QRect* destination) const = 0;
    // Paints the latest picture with the clipping window's painter (from its paint handler).
    virtual void RepaintVideo(QPainter& painter) = 0;
    // The widget the picture is drawn into; it is repainted when a new picture arrives.
    virtual void SetVideoClippingWindow(QWidget* window) = 0;
    virtual QWidget* GetVideoClippingWindow() const = 0;

Q_SIGNALS:
    // The native size changed (a new stream was negotiated): the pane lays the picture out again.
    void nativeSizeChanged();
};
