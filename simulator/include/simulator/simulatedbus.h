// A USB bus with simulated cameras on numbered ports, sharing one bus clock.
//
// The bus lists the cameras attached now, in port order; a camera that is re-attaching is absent
// until it is back. Every member may be called from any thread; the cameras outlive every
// handle that holds them (shared ownership).
//
// Threads: the bus owns one thread, started by the constructor and joined by the destructor. It
// unplugs and replugs the cameras at the times their configuration gives (counted from the
// constructor), and tells the attachment listener when cameras have left or attached. It sleeps
// until the next such time or until a camera leaves the bus, so an idle bus costs nothing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "simulator/cameraconfig.h"
#include "simulator/simulatedcamera.h"

namespace simulator {

class BusClock;

class SimulatedBus {
public:
    SimulatedBus(const std::vector<CameraConfig>& cameras, unsigned busRateMBps);
    // Stops and joins the bus's thread; no listener call runs after it returns.
    ~SimulatedBus();
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    struct AttachedCamera {
        std::shared_ptr<SimulatedCamera> camera;
        std::uint64_t generation;
    };
    // The cameras present now, in port order.
    std::vector<AttachedCamera> attachedCameras() const;
    // Every camera, present or not, in port order (ports count from 1).
    const std::vector<std::shared_ptr<SimulatedCamera>>& cameras() const { return cameras_; }
    // The wire the cameras share (tests book it to hold a transfer on the wire).
    BusClock& clock() { return *clock_; }

    // Called after cameras left the bus or attached to it: an unplug or replug, and the departure
    // and return around a firmware start or a port cycle. One call may stand for several changes;
    // each camera's departure is told before its return. Calls come one at a time on the bus's
    // thread, under no lock of the bus or of a camera; the listener may call attachedCameras()
    // and must return quickly.
    using AttachmentListener = std::function<void()>;
    // Replaces the listener (empty: none). Returns only once no call of the previous listener
    // runs any more. Not from inside a listener.
    void setAttachmentListener(AttachmentListener listener);

private:
    // Counts the cameras' departures and replugs, for the bus's thread to wait on; shared with
    // the cameras, which may outlive the bus.
    struct Changes {
        std::mutex mutex;  // taken under a camera's lock, takes nothing
        std::condition_variable_any signalled;
        std::uint64_t count = 0;
        void signal();
    };
    struct TimedEvent {
        std::chrono::steady_clock::time_point at;
        SimulatedCamera* camera;
        bool replug;  // else an unplug
    };

    // `told`: the generation each camera was attached in when last told (none: absent).
    void superviseAttachments(std::stop_token stop, std::vector<std::optional<std::uint64_t>> told);
    void tellListener();

    const std::shared_ptr<Changes> changes_ = std::make_shared<Changes>();
    std::shared_ptr<BusClock> clock_;
    std::vector<std::shared_ptr<SimulatedCamera>> cameras_;
    std::vector<TimedEvent> timedEvents_;  // in time order; only the bus's thread reads it
    std::mutex listenerMutex_;             // held while the listener runs; guards listener_
    AttachmentListener listener_;
    std::jthread supervisor_;  // last: stops before what it uses goes
};

}  // namespace simulator
