// One "src_%u" pad of the element and the streaming task that feeds it from one filter pin.
//
// Threads: the element's state changes and the filter's AddDevice (control threads) call
// activate/start/pause; the pad's own task calls loop(). The task blocks only inside the pin's
// FillBuffer, and every path that stops it (pause, deactivation, flush) first clears `streaming_`
// and wakes the pin with BreakWait.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <mutex>

#include "zmsourcefltpin.h"

namespace ZenmiraVidSource {

class PadStream {
public:
    // Makes the pad (not yet added to an element) for `pin`.
    PadStream(ZmSourceFltPin& pin, GstPadTemplate* padTemplate);
    ~PadStream();
    PadStream(const PadStream&) = delete;
    PadStream& operator=(const PadStream&) = delete;

    GstPad* pad() const { return pad_; }
    ZmSourceFltPin& pin() const { return pin_; }

    // Starts the streaming task (element going to PLAYING). The pad must be active.
    void start();
    // Makes the task pause at its next step without waiting for it: a downstream element that
    // is itself pausing may hold the task inside a push.
    void pause();
    // Stops the task and waits until it has ended (pad deactivation; downstream is flushing).
    void stop();
    // Ends the stream without waiting: the task finishes the picture in flight, pushes EOS and
    // pauses; a task that does not run yet does so when it starts. Holds until the pad is
    // activated again. Any thread.
    void endOfStream();

private:
    static gboolean onActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active);
    static gboolean onQuery(GstPad* pad, GstObject* parent, GstQuery* query);
    static gboolean onEvent(GstPad* pad, GstObject* parent, GstEvent* event);
    static void loop(gpointer self);

    void step();
    bool eosRequested();
    // The caps the pin offers now, in its order of preference.
    GstCaps* offeredCaps() const;
    bool negotiate();
    bool decideAllocation(GstCaps* caps);
    void releasePool();
    // Ends the stream: EOS downstream, task paused until the next start.
    void endStream();

    ZmSourceFltPin& pin_;
    GstPad* pad_;
    // Guards streaming_, playStarted_, eosRequested_ and pool_, so that the task's decision to
    // pause itself and a concurrent start() cannot cross.
    std::mutex taskMutex_;
    bool streaming_ = false;
    bool playStarted_ = false;
    bool eosRequested_ = false;
    GstBufferPool* pool_ = nullptr;
    // Used by the task only, or while it is stopped.
    bool needsStreamStart_ = true;
    bool needsNegotiation_ = true;
    GstVideoInfo info_;
};

}  // namespace ZenmiraVidSource
