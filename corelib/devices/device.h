// The common core of every camera object: the client operations (IDevice), the settings' checker
// (IChecker), the two frame buffers and the two threads that move frames through them.
//
// Frames travel: camera FPGA memory -> bulk endpoint -> camera thread (family input step) -> raw
// buffer -> repack thread (family repack step) -> output buffer -> clients (GetFrame).
//
// Threads and locks:
//  - the camera thread runs CameraStep() over and over, each step under the camera lock;
//  - the repack thread runs RepackStep() over and over, each step under the repack lock, and is
//    held between steps while the camera is stopped;
//  - client threads call the IDevice operations and change settings (which reach Check).
// Lock order: camera lock, then repack lock, everywhere. Close and Start take both, Stop and the
// raw-buffer drain the repack lock, family B's SoftwareStart the camera lock. Steps wait only for
// bounded times, so a client that waits for a lock waits at most about one step.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/checker.h"
#include "core/framebuffer.h"
#include "core/setting.h"
#include "core/settingfactory.h"
#include "core/worker.h"
#include "devices/camerasettings.h"
#include "devices/framenumbering.h"
#include "devices/modeldescription.h"
#include "devices/repack.h"
#include "hardware/commandbuffer.h"
#include "hardware/hwlayer.h"
#include "hardware/moduleiccd.h"
#include "hardware/registers/bitfield.h"
#include "hardware/registers/buffermanager.h"
#include "platform/event.h"
#include "zmcorelib/device.h"
#include "zmcorelib/deviceextensions.h"

namespace ZmCoreLib_v4 {

class Device;

// The camera thread: one CameraStep() after another, from Open to Close.
class Device_CameraThread final : public ZmCoreLib::Worker {
public:
    Device_CameraThread() : Worker("CameraThread") {}
    void setDevice(Device* device) { device_ = device; }

protected:
    int Run() override;

private:
    Device* device_ = nullptr;
};

// The repack thread: one RepackStep() after another while the camera is started.
class Device_RepackThread final : public ZmCoreLib::Worker {
public:
    Device_RepackThread() : Worker("RepackThread") {}
    void setDevice(Device* device) { device_ = device; }

protected:
    int Run() override;

private:
    Device* device_ = nullptr;
};

// A value for one field of a register image.
struct FieldValue {
    registers::BitField field;
    std::int64_t value;
};

// A camera register the host changes bit by bit: it keeps an image of the register's 24 bits and
// writes the whole image after every change. Camera thread (or a client under the camera lock).
class RegisterImage {
public:
    RegisterImage() = default;
    RegisterImage(IHwLayer* layer, unsigned address) : layer_(layer), address_(address) {}

    void setBit(registers::BitField bit, bool on) { setFields({{bit, on ? 1 : 0}}); }
    // Replaces the fields (fields that overlap are or-ed) and writes the image once.
    void setFields(std::initializer_list<FieldValue> fields);
    // Replaces the fields without writing (the next write carries them).
    void setFieldsQuietly(std::initializer_list<FieldValue> fields);
    void write(unsigned value) { layer_->WriteRegister(address_, value & kRegisterMask); }
    unsigned image() const { return image_; }
    unsigned address() const { return address_; }

    static constexpr unsigned kRegisterMask = 0xFFFFFF;

private:
    IHwLayer* layer_ = nullptr;
    unsigned address_ = 0;
    unsigned image_ = 0;
};

// The frame slots of the camera's FPGA memory, which both families read the same way: a
// buffer-manager register with one ready flag per slot, the slot the next transfer reads, the
// acquisition enable, and a transfer-length register. Camera thread only.
class FpgaBufferManager {
public:
    FpgaBufferManager() = default;
    FpgaBufferManager(IHwLayer* layer, unsigned bufferManagerAddress, unsigned transferLengthAddress)
        : layer_(layer), register_(layer, bufferManagerAddress), transferLength_(transferLengthAddress) {}

    // One ready flag per slot, bit 0 for slot 0.
    unsigned readyMask();
    // Reads the transfer-length register; the cameras need the read, not its value.
    void touchTransferLength() { layer_->ReadRegister(transferLength_); }
    // Pulsed before each acquisition start.
    void pulseStart();
    void setAcquisitionEnabled(bool on) {
        register_.setBit(registers::buffermanager::kAcquisitionEnable, on);
    }
    // Points the FPGA at `slot` and announces a transfer of `bytes`, ready for the bulk read.
    void prepareTransfer(int slot, int bytes);
    // Frees the slot for the camera's next frame.
    void acknowledge(int slot);

private:
    IHwLayer* layer_ = nullptr;
    RegisterImage register_;
    unsigned transferLength_ = 0;
};

class Device : public ZmCoreLib::IDevice, public IChecker, public ZmCoreLib::IDeviceEx {
public:
    // A step waits at most this long for its lock, so a thread notices a stop request soon while
    // a client operation holds the lock.
    static constexpr std::uint32_t kStepLockTimeoutMs = 10;
    // Close's bound for each thread to end once it has been asked to.
    static constexpr unsigned kThreadStopTimeoutMs = 1000;
    // Pauses of a camera step that finds nothing to do (see pauseForNextFrame, pauseWhileStopped).
    static constexpr std::uint32_t kMinFramePollMs = 1;
    static constexpr std::uint32_t kMaxFramePollMs = 10;
    static constexpr std::uint32_t kStoppedPollMs = 10;
    // How long before a frame of a camera on its own timer is due the camera thread starts to look
    // for it: it covers the thread's wake-up on a busy machine. A frame that
    // was ready at the first look widens it (up to kMaxScheduleMargin), one that needed several
    // looks narrows it again; looking goes on closely until a margin past the due time.
    static constexpr std::chrono::milliseconds kScheduleMargin{1};
    static constexpr std::chrono::milliseconds kMaxScheduleMargin{16};
    // The protocol's pauses of every acquisition start: after the FPGA's start pulse, and after
    // the acquisition bit was set before the FPGA slots are enabled.
    static constexpr auto kStartPulseSettle = std::chrono::milliseconds(10);
    static constexpr auto kAcquisitionSettle = std::chrono::milliseconds(400);

    // Owners Close() a device before destroying it: the threads call the family's steps, which
    // must not run while the destructors take the object apart. The family destructors close it
    // as a last resort.
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // --- IDevice, client threads
    // Makes both frame buffers and starts both threads; the camera stays idle until Start. Every
    // setting is queued for writing: the camera holds its power-up state, or whatever it was given
    // before, so the first start gives it the values clients read. On a device that is open
    // already, returns the existing output buffer and changes nothing. Null, and the device stays
    // closed, when the camera cannot deliver frames: its threads cannot start, or its FPGA
    // configuration was missing or refused at bring-up (the user was told).
    ZmCoreLib::IFrameBuffer* Open() override;
    // Stops the camera and both threads and destroys the frame buffers. Blocks until no step
    // runs. Clients must have given back their frames and removed their observers.
    void Close() override;
    ZmCoreLib::ISettingIterator* GetSettings() override;
    ZmCoreLib::ISetting* FindSetting(unsigned id) override;
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override;
    // Empties both buffers and lets frames flow; does nothing when started already or not open.
    // Throws ZmCoreLib::FrameBufferException ("Есть занятый кадр") while a client holds a frame;
    // the camera then stays stopped.
    void Start() override;
    // Holds the repack thread after its current step; the camera thread switches the acquisition
    // off at its next step.
    void Stop() override;
    void SoftwareStart() override {}

    // --- IChecker, the client thread that changed a setting
    // Takes the command buffer for the setting side, lets the family couple dependent settings to
    // the change (coupleSettings), queues the id for the register writer and gives back the lock.
    // After failed tries for the lock the change is coupled and queued all the same.
    int Check(unsigned settingId) final;

    // --- the threads' steps, each run under its lock by its thread
    // Camera thread, under the camera lock: switches the acquisition off once the camera was
    // stopped, writes pending settings with the acquisition off, switches it on again at every
    // (re)start and then reads the family's next frame (see the family's part below).
    virtual void CameraStep();
    virtual void RepackStep() = 0;

    // --- IDeviceEx, any thread, never blocks
    // GetFrameInfo: while the device is open.
    bool GetFrameInfo(ZmCoreLib::IFrame* frame, ZmCoreLib::FrameInfo* info) override;
    void GetDropLedger(ZmCoreLib::DropLedger* ledger) override;
    bool CountDrop(ZmCoreLib::DropStage stage, std::uint32_t frames) override;
    ZmCoreLib::DeviceState GetState() override;

    // The extension of a camera object that exists now, null for any other pointer. Any thread.
    static ZmCoreLib::IDeviceEx* extensionOf(ZmCoreLib::IDevice* device);

    // Frames whose bulk read failed or came back short and were dropped instead of delivered.
    int droppedFrames() const;
    bool isStarted() const { return started_.load(); }

protected:
    // The device owns the layer: its camera's only path to registers and the image stream.
    // `model` is what the family's constructor builds the camera from.
    Device(std::unique_ptr<IHwLayer> layer, const ModelDescription& model);

    // Stops both threads and destroys the frame buffers. Every family destructor calls it first,
    // while the family's steps can still run.
    void shutDown();

    // Repack thread or camera thread (inside its step): gives back the pending raw frame and
    // every finished raw frame, under the repack lock, and counts them discarded.
    void drainRawBuffer();

    // Bring-up common to both families, on the constructing thread, after the family built its
    // settings: computes the registers both families have at the same place (the intensifier
    // module's `moduleAddressOffset` above the window), streams the FPGA configuration `file` (a
    // file that cannot be used is skipped), shows the version register as "major.minor", and asks
    // the module registers for a module.
    // A file that cannot be used, or one the FPGA did not take (its version reads 0), is told to
    // the user with what to do, and Open refuses the camera.
    // A module of a known type gets the module registers and the layer, turns the picture by its
    // rotation and appends its settings to the camera's.
    void bringUp(const std::string& file, unsigned moduleAddressOffset);
    // After bring-up: shows `name` (the model's name when null), the model's interface text and
    // the serial numbers the model's queries answer (two control requests per query).
    void showIdentity(const char16_t* name);

    // Client thread, inside Check with the command buffer held for the setting side: the family's
    // coupling of a changed setting to the settings that depend on it. Ids the family does not
    // couple go to the module.
    virtual void coupleSettings(unsigned settingId) = 0;

    // Repack thread, under the repack lock: takes the pending or the oldest finished raw frame
    // (waiting a few milliseconds for the camera thread to commit one when none is there),
    // converts it by the device's rotation into a free output frame and commits that. Output
    // frames carry the raw frame's tag when `carryTag`, else 0. While no output frame is free the
    // raw frame stays pending for the next step.
    void repackStep(PixelPacking packing, bool carryTag);

    // Camera thread: reads `frame` (allocated for width x height pixels) from the bulk stream and
    // commits it. A read that failed or came back short never reaches the clients: the frame goes
    // back to the pool and is counted as dropped. True when the frame was committed.
    // `whileLastRequestRuns` runs on the camera thread while the read's last request is on its
    // way (see IHwLayer::readDataOverlapping), only when the read succeeds so far.
    bool readAndCommitRawFrame(ZmCoreLib::IMemBlock* frame, int width, int height,
                               const std::function<void()>& whileLastRequestRuns);

    // Camera thread, in a step of a started camera whose next frame is not ready: sets when the
    // next step looks again. A camera that runs on its own timer (ownFrameInterval) is left
    // alone until shortly before its next frame is due, counted from when the last one was
    // seen, and then looked at step after step; a frame that is late, the first frame after a
    // (re)start and a triggered camera are looked for with a pause that starts short after each
    // frame and doubles while the camera waits, so a ready frame waits at most kMaxFramePollMs.
    void pauseForNextFrame();
    // Camera thread, in a step that found a frame ready but no raw frame free for it: looks again
    // after the short, doubling pause, as the repack thread frees raw frames soon.
    void pauseForFreeRawFrame();
    // Camera thread, once it goes to read the frame of the current slot: `polledAt` is when the
    // look that found its ready flag began, the earliest the frame can have been there. Numbers
    // the frame (with what the timing shows was lost before it) for readAndCommitRawFrame.
    void frameFetched(std::chrono::steady_clock::time_point polledAt);
    // Camera thread: the look begun at `polledAt` found the slot of the next frame empty.
    void slotEmpty(std::chrono::steady_clock::time_point polledAt) { numbering_.emptyLook(polledAt); }
    // Camera thread: `frames` ready frames were given back unread for a newer one.
    void framesSkipped(std::uint32_t frames);
    // Camera thread: a frame is ready but no raw frame is free; frames the camera loses until
    // the camera thread has caught up again are the fault of the ring that holds things up.
    void noRawFrameFree();
    // A frame the camera thread found ready in an FPGA slot, with the transfer-length register
    // read for it: the slot and when the look that found it began.
    struct ReadyFrame {
        int slot;
        std::chrono::steady_clock::time_point polledAt;
    };
    // The frame found while the previous one was on its way, for the next step to read without
    // looking again; none after an acquisition restart or a failed read. Camera thread.
    std::optional<ReadyFrame> nextReady_;

    // Camera thread, in the step of a stopped camera: nothing to do until a start.
    void pauseWhileStopped();
    // Any thread: the camera thread's pause ends now (a setting was queued, the camera was
    // started, stopped or triggered).
    void wakeCameraThread() { wake_.set(); }
    // Any thread, after a software start: its frame is looked for closely from the next step on.
    void frameTriggered() {
        triggered_ = true;
        wake_.set();
    }

    // The period at which the camera makes frames by itself in the settings it was last given,
    // or none when its frames follow a trigger or come irregularly. Camera thread.
    virtual std::optional<std::chrono::microseconds> ownFrameInterval() const { return std::nullopt; }

    // --- the family's part of the camera step, camera thread, under the camera lock
    // The two switch-off orders: before writing settings, and when the camera was stopped.
    virtual void switchOffForSettings() = 0;
    virtual void switchOffForStop() = 0;
    // Switches the acquisition on, after the start pulse; the next frame is read from slot 0.
    virtual void switchOn() = 0;
    // With the command buffer held by the writer and the acquisition off: writes the registers of
    // every pending setting.
    virtual void writePendingSettings() = 0;
    // After the settings were written and the command buffer released.
    virtual void settingsWritten() {}
    // Reads the next frame the FPGA holds into the raw buffer, or pauses when none is ready.
    virtual void inputStep() = 0;

    IHwLayer& hw() { return *hwLayer_; }
    ZmCoreLib::FrameBuffer* rawBuffer() { return rawBuffer_.get(); }

    std::unique_ptr<IHwLayer> hwLayer_;
    const ModelDescription model_;
    const int fibreOptic_;
    // Held by the camera thread for each step, by Close, Start and family B's SoftwareStart.
    platform::Mutex cameraLock_;
    // Held by the repack thread for each step, by Stop, Start, Close and the raw-buffer drain.
    platform::Mutex repackLock_;
    // Shared by every camera of every process of the user. Family B signals the third each time
    // its camera step switches the acquisition off; the library waits on none of them. One that
    // cannot be used (another user's object, say) is told to the user once per process, and the
    // camera works on without it.
    platform::NamedEvent runEvent_{"CameraThreadRunEvent"};
    platform::NamedEvent stopEvent_{"CameraThreadStopEvent"};
    platform::NamedEvent stoppedEvent_{"CameraThreadStopedEvent"};
    // The registers both families have at the same places, computed at bring-up.
    struct WindowRegisters {
        unsigned window = 0;  // R + Q: the families' setting registers count from it
        unsigned control = 0;
        unsigned version = 0;
        unsigned moduleAddress = 0;  // the module data register follows it
    };
    WindowRegisters registers_;
    // Image of the control register, whose acquisition bits both families switch.
    RegisterImage control_;
    FpgaBufferManager buffers_;                 // set up by the bring-up
    std::vector<ZmCoreLib::Setting> settings_;  // in the order clients see them
    SettingFactory settingFactory_{*this, settings_};
    CameraSettings cameraSettings_;
    std::unique_ptr<ModuleIccd> module_;  // null without an intensifier module
    CommandBuffer commandBuffer_;
    // started: set by Start, cleared by Stop; acquiring: the camera thread's own record of the
    // camera's acquisition switch. The camera step reads both at its start.
    std::atomic<bool> started_{false};
    std::atomic<bool> acquiring_{false};
    int rotation_;  // degrees: the model's 0 or 90, plus 180 for an intensifier that turns the picture
    const bool sensorTemperature_;
    const int fpgaBufferCount_;  // frame slots in the camera's FPGA memory

private:
    friend class Device_CameraThread;
    friend class Device_RepackThread;

    // Wakes the repack thread when the camera thread commits a raw frame.
    class RawFrameSignal final : public ZmCoreLib::IFrameBufferObserver {
    public:
        void OnFrameReady(int) override { committed_.set(); }
        // Any thread: ends the repack step's wait now, before taking the repack lock.
        void wake() { committed_.set(); }
        void wait(std::uint32_t timeoutMs) { committed_.wait(timeoutMs); }

    private:
        platform::Event committed_{platform::ResetMode::Auto};
    };

    // Both threads stopped; the caller holds both locks.
    void stopThreadsLocked();
    // Under the repack lock: gives back the pending raw frame and every finished raw frame and
    // counts them discarded.
    void discardRawFramesLocked();
    // Camera thread, right after the acquisition was switched off: the frames the FPGA still
    // holds (and, on the camera's own timer, those it made meanwhile with every slot full) are
    // lost with the restart.
    void countFramesLeftInCamera();
    // Any thread: adds to the ledger.
    void countLost(ZmCoreLib::DropStage stage, std::uint64_t frames);
    // Where frames lost now go: the ring that holds the camera thread up, else not read in time.
    ZmCoreLib::DropStage lossStage() const {
        return stallCause_.value_or(ZmCoreLib::DropStage::kNotReadInTime);
    }

    std::unique_ptr<ZmCoreLib::FrameBuffer> outputBuffer_;
    std::unique_ptr<ZmCoreLib::FrameBuffer> rawBuffer_;
    RawFrameSignal rawFrameSignal_;
    ZmCoreLib::FrameMemBlock* pendingRawFrame_ = nullptr;  // repack thread, under the repack lock
    // The output buffer while the device is open, for the extension's readers.
    std::atomic<ZmCoreLib::FrameBuffer*> openOutput_{nullptr};
    // The ledger: frames committed to the output buffer, and lost per stage.
    std::atomic<std::uint64_t> delivered_{0};
    std::array<std::atomic<std::uint64_t>, ZmCoreLib::kDropStageCount> lost_{};
    // Set by the repack step while no output frame is free for its pending raw frame.
    std::atomic<bool> outputRingFull_{false};
    std::uint64_t lastDeliveredNumber_ = 0;  // repack thread, under the repack lock
    // Camera thread: the frame numbers, the info of the frame being read, and why the camera
    // thread fell behind the camera (none: it has caught up since).
    FrameNumbering numbering_;
    ZmCoreLib::FrameInfo fetchedInfo_{};
    std::optional<ZmCoreLib::DropStage> stallCause_;
    bool waitedForRawFrame_ = false;  // the frame to take now waited for a free raw frame
    // The process's camera objects, for extensionOf.
    Device* nextLive_ = nullptr;
    // Why the camera cannot deliver frames, found at bring-up; empty when it can.
    std::string configurationProblem_;
    // The camera thread's pacing, camera thread only (see pauseForNextFrame). The next step
    // starts at resumeAt_ or when wake_ is signalled, whichever comes first.
    using Clock = std::chrono::steady_clock;
    void waitForNextStep(Device_CameraThread& thread);
    void acquisitionRestarted();
    platform::Event wake_{platform::ResetMode::Auto};
    std::atomic<bool> triggered_{false};  // set by SoftwareStart: look for its frame soon
    Clock::time_point resumeAt_;
    std::uint32_t framePollMs_ = kMinFramePollMs;
    std::optional<Clock::time_point> lastFrameSeen_;  // since the acquisition was last switched on
    Clock::duration scheduleMargin_ = kScheduleMargin;
    bool scheduledWake_ = false;  // the step after a scheduled pause has not found its frame yet
    int looksSinceWake_ = 0;      // unsuccessful looks since that pause ended
    // Declared last, so that the threads end before anything they use goes.
    Device_CameraThread cameraThread_;
    Device_RepackThread repackThread_;
};

}  // namespace ZmCoreLib_v4
