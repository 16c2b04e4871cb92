// One simulated camera on the simulated bus: USB controller, FPGA, sensor and optional
// intensifier module, answering at the USB level what a real camera answers.
//
// Life of a camera: it powers up with its boot identity; a firmware download through vendor
// request 0xA0 (CPU held at 0xE600, program written, CPU released) makes it leave the bus and
// attach again after kReattachDelay with the identity in the loaded image's device descriptor;
// a port cycle does the same with the identity it has. Every detachment starts a new
// "generation": requests carrying an older generation fail with NoDevice, as requests on a handle
// to a device that has left the bus do. Requests in flight when the camera leaves complete with
// NoDevice. An unplugged camera stays away until replug() powers it up again, as after a power
// cycle: boot identity, no firmware, FPGA unconfigured, registers at their power-up values.
//
// Threads: each camera owns two threads, started by the constructor and stopped (bounded: they
// only ever wait on the camera's condition variable) by the destructor. The frame producer fills
// the FPGA's slots at the programmed frame period while acquisition is enabled; the bulk server
// answers bulk IN requests in order from the armed image stream, paced by the shared bus clock.
// Every public member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "simulator/cameraconfig.h"
#include "simulator/requestlog.h"
#include "simulator/usbtypes.h"

namespace simulator {

class BusClock;
class Fpga;
class Fx2Controller;

struct CameraIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0;
};

class SimulatedCamera {
public:
    // How long a camera stays off the bus when it re-attaches (firmware start, port cycle).
    static constexpr std::chrono::milliseconds kReattachDelay{150};
    // How long the controller takes to answer a control request.
    static constexpr std::chrono::microseconds kControlLatency{120};

    // `busChanged` is called whenever the camera leaves the bus (to re-attach or for good) and when
    // replug() puts it back, under the camera's lock: it may only take a lock under which nothing
    // else is taken, and must not call the camera.
    SimulatedCamera(int port, const CameraConfig& config, std::shared_ptr<BusClock> bus,
                    std::function<void()> busChanged = {});
    ~SimulatedCamera();
    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;

    // ---- USB side (the simulator driver) ----

    int port() const { return port_; }
    // The current generation; a device that is not on the bus now has none (nullopt).
    std::optional<std::uint64_t> attachedGeneration() const;
    // When a camera that is re-attaching will be back; nullopt when it is attached or away for
    // good.
    std::optional<std::chrono::steady_clock::time_point> reattachmentDue() const;
    CameraIdentity identity() const;
    std::string friendlyName() const;

    struct ControlResult {
        TransferStatus status;
        std::size_t bytes;  // IN: bytes written into `data`; OUT: bytes taken
    };
    // One control transfer; blocks for kControlLatency. `data` holds the OUT bytes or receives the
    // IN bytes (at most setup.length).
    ControlResult controlTransfer(std::uint64_t generation, const SetupPacket& setup,
                                  std::span<std::uint8_t> data);

    // Called exactly once per accepted bulk request, on the bulk server thread, after the camera
    // stopped touching the buffer.
    using BulkCompletion = std::function<void(TransferStatus, std::size_t bytes)>;
    // Queues a bulk IN request into `buffer`, which must stay valid until `done` has run. Returns
    // its id, or 0 when refused at once (then `done` was not called and never will be) with
    // *refusal saying why.
    std::uint64_t submitBulkIn(std::uint64_t generation, std::uint8_t endpoint, std::uint8_t* buffer,
                               std::size_t length, BulkCompletion done, TransferStatus* refusal);
    // Cancels one request or every request of an endpoint; the requests complete with Cancelled
    // on the bulk server thread shortly after. Never blocks on the device.
    void cancelBulk(std::uint64_t id);
    void abortEndpoint(std::uint64_t generation, std::uint8_t endpoint);
    TransferStatus clearHalt(std::uint64_t generation, std::uint8_t endpoint);
    TransferStatus cyclePort(std::uint64_t generation);

    // ---- Test side ----

    RequestLog& log() { return log_; }
    const CameraConfig& config() const { return config_; }
    // A register as the camera would answer a read now (0 while the FPGA does not work).
    unsigned registerValue(unsigned address) const;
    // An internal register of the intensifier module.
    unsigned moduleRegister(int number) const;
    std::uint32_t framesCaptured() const;
    std::uint32_t framesLost() const;
    void setTemperatures(int cameraTemperature, int sensorTemperature);
    // One frame on the external trigger input (acquiring in external-trigger mode).
    void externalTrigger();

    // Faults. The next `count` bulk requests are never answered (the host's wait times out); the
    // next bulk request stalls the endpoint until the host clears it; the next frame transfer
    // ends after `bytes` bytes; the camera leaves the bus for good, now or when it next leaves
    // the bus to re-attach (a controller that hangs after a download).
    void injectBulkTimeout(int count = 1);
    void injectBulkStall();
    void injectShortFrame(std::size_t bytes);
    void unplug();
    void failNextReattach();
    // A power cycle: the camera (unplugged or not) is on the bus at once with its boot identity
    // and power-up state in a new generation; pending faults are gone.
    void replug();

private:
    struct BulkRequest {
        std::uint64_t id = 0;
        std::uint8_t* buffer = nullptr;
        std::size_t length = 0;
        std::size_t done = 0;
        BulkCompletion completion;
        std::chrono::steady_clock::time_point submittedAt;
        std::uint32_t endedFrame = 0;  // the frame whose last bytes ended the request, if any,
        std::chrono::steady_clock::time_point endedFrameCaptured;  // and when it was captured
        bool cancelled = false;
        bool swallowed = false;                 // a time-out fault: held until cancelled
        std::optional<TransferStatus> failure;  // ends with this status at once (device gone)
    };

    bool attachedLocked(std::uint64_t generation, std::chrono::steady_clock::time_point now) const;
    void detachLocked(std::chrono::steady_clock::time_point now, const std::string& why);
    ControlResult standardRequestLocked(const SetupPacket& setup, std::span<std::uint8_t> data);
    ControlResult vendorRequestLocked(const SetupPacket& setup, std::span<std::uint8_t> data,
                                      std::chrono::steady_clock::time_point now);
    void noteLocked(std::string note);
    void appendLocked(LoggedRequest entry);
    void flushNotesLocked();
    void signalChangeLocked();
    void finishFrontLocked(std::unique_lock<std::mutex>& lock, TransferStatus status);
    void produceFrames(std::stop_token stop);
    void serveBulk(std::stop_token stop);
    void captureLocked();
    void powerUpLocked();

    const int port_;
    const CameraConfig config_;
    const std::shared_ptr<BusClock> bus_;
    const std::function<void()> busChanged_;
    RequestLog log_;

    mutable std::mutex mutex_;             // guards everything below; taken before the log's lock
    std::condition_variable_any changed_;  // state the two threads wait for changed
    std::uint64_t changes_ = 0;            // counts signalled changes
    std::unique_ptr<Fx2Controller> controller_;
    std::unique_ptr<Fpga> fpga_;
    std::uint64_t generation_ = 1;
    std::chrono::steady_clock::time_point attachAt_;
    bool present_ = true;  // false after a firmware crash or an unplug
    bool unplugged_ = false;
    bool failReattach_ = false;
    std::deque<BulkRequest> bulkQueue_;
    std::uint64_t nextBulkId_ = 1;
    bool endpointHalted_ = false;
    // When the host armed the image stream now pending, and when this camera's last booked piece
    // leaves the wire: with the request's own arrival, what a piece waits for before the wire.
    std::chrono::steady_clock::time_point streamArmedAt_;
    std::chrono::steady_clock::time_point wireDoneAt_;
    int pendingTimeouts_ = 0;
    bool pendingStall_ = false;
    std::vector<std::string> pendingNotes_;  // events of the request being answered, logged after it

    std::jthread producer_;
    std::jthread bulkServer_;
};

}  // namespace simulator
