#include "simulator/simulatedcamera.h"

#include <sys/prctl.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "fpga.h"
#include "fx2controller.h"
#include "simulator/busclock.h"
#include "simulator/hardwaremodel.h"

namespace simulator {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint16_t kStringDescriptorValue = 0x0300;
// Bytes the bulk server books on the bus and renders at a time, so pacing and cancellation
// take effect within a fraction of a millisecond.
constexpr std::size_t kBulkChunkBytes = 64 * 1024;

// Sleeps for `duration` as a controller answers: within a few microseconds. A thread's sleep
// otherwise ends up to its timer slack late (50 us by default), which nearly doubles a control
// request's time and would make the simulated bus slower than the latency it models.
void answerAfter(std::chrono::microseconds duration) {
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    const bool tightened = slack > 1 && prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0) == 0;
    std::this_thread::sleep_for(duration);
    if (tightened) prctl(PR_SET_TIMERSLACK, slack, 0, 0, 0);
}

std::string identityText(const UsbIdentity& identity) {
    char text[48];
    std::snprintf(text, sizeof text, "%04x:%04x release %u", identity.vendorId, identity.productId,
                  identity.release);
    return text;
}

}  // namespace

SimulatedCamera::SimulatedCamera(int port, const CameraConfig& config, std::shared_ptr<BusClock> bus,
                                 std::function<void()> busChanged)
    : port_(port),
      config_(config),
      bus_(std::move(bus)),
      busChanged_(std::move(busChanged)),
      attachAt_(Clock::now()) {
    powerUpLocked();  // no other thread knows the camera yet
    producer_ = std::jthread([this](std::stop_token stop) { produceFrames(stop); });
    bulkServer_ = std::jthread([this](std::stop_token stop) { serveBulk(stop); });
}

SimulatedCamera::~SimulatedCamera() {
    // jthread members stop first (declared last); their waits observe the stop request.
    producer_.request_stop();
    bulkServer_.request_stop();
}

// ---- attachment ----

bool SimulatedCamera::attachedLocked(std::uint64_t generation, Clock::time_point now) const {
    return present_ && !unplugged_ && generation == generation_ && now >= attachAt_;
}

std::optional<std::uint64_t> SimulatedCamera::attachedGeneration() const {
    std::lock_guard lock(mutex_);
    if (!attachedLocked(generation_, Clock::now())) return std::nullopt;
    return generation_;
}

std::optional<Clock::time_point> SimulatedCamera::reattachmentDue() const {
    std::lock_guard lock(mutex_);
    if (!present_ || unplugged_ || attachAt_ <= Clock::now()) return std::nullopt;
    return attachAt_;
}

void SimulatedCamera::powerUpLocked() {
    controller_ = std::make_unique<Fx2Controller>(config_);
    fpga_ = std::make_unique<Fpga>(config_);
    const UsbIdentity identity = controller_->identity();
    fpga_->powerUp(controller_->firmwareRunning() ? hardwareModelFor(identity.productId, identity.release)
                                                  : nullptr);
}

void SimulatedCamera::detachLocked(Clock::time_point now, const std::string& why) {
    ++generation_;
    attachAt_ = now + kReattachDelay;
    endpointHalted_ = false;
    for (BulkRequest& request : bulkQueue_) request.failure = TransferStatus::NoDevice;
    noteLocked(why);
    if (std::exchange(failReattach_, false)) {
        present_ = false;
        noteLocked("hung: will not attach again");
    }
    signalChangeLocked();
    if (busChanged_) busChanged_();
}

CameraIdentity SimulatedCamera::identity() const {
    std::lock_guard lock(mutex_);
    const UsbIdentity identity = controller_->identity();
    return {identity.vendorId, identity.productId, identity.release};
}

std::string SimulatedCamera::friendlyName() const {
    return "Zenmira USB 2.0 Camera (simulated, port " + std::to_string(port_) + ")";
}

// ---- logging ----

void SimulatedCamera::noteLocked(std::string note) {
    pendingNotes_.push_back(std::move(note));
}

void SimulatedCamera::signalChangeLocked() {
    ++changes_;
    changed_.notify_all();
}

void SimulatedCamera::appendLocked(LoggedRequest entry) {
    log_.append(std::move(entry));
    flushNotesLocked();
}

void SimulatedCamera::flushNotesLocked() {
    for (std::string& note : pendingNotes_) {
        LoggedRequest event;
        event.kind = LoggedRequest::Kind::Event;
        event.note = std::move(note);
        event.time = Clock::now();
        log_.append(std::move(event));
    }
    pendingNotes_.clear();
}

// ---- control transfers ----

SimulatedCamera::ControlResult SimulatedCamera::controlTransfer(std::uint64_t generation,
                                                                const SetupPacket& setup,
                                                                std::span<std::uint8_t> data) {
    answerAfter(kControlLatency);
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    data = data.first(std::min<std::size_t>(data.size(), setup.length));
    ControlResult result{TransferStatus::Stall, 0};
    const bool streamWasPending = fpga_->streamPending();
    if (!attachedLocked(generation, now)) {
        result.status = TransferStatus::NoDevice;
    } else if (setup.type() == SetupPacket::kTypeStandard) {
        result = standardRequestLocked(setup, data);
    } else if (setup.type() == SetupPacket::kTypeVendor) {
        result = vendorRequestLocked(setup, data, now);
    }
    if (!streamWasPending && fpga_->streamPending()) streamArmedAt_ = now;
    LoggedRequest entry;
    entry.kind = LoggedRequest::Kind::Control;
    entry.setup = setup;
    entry.length = result.bytes;
    entry.status = result.status;
    entry.time = now;
    const std::size_t logged = setup.isIn() ? result.bytes : data.size();
    entry.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(logged));
    appendLocked(std::move(entry));
    signalChangeLocked();
    return result;
}

SimulatedCamera::ControlResult SimulatedCamera::standardRequestLocked(const SetupPacket& setup,
                                                                      std::span<std::uint8_t> data) {
    switch (setup.request) {
        case kGetDescriptor: {
            if (!setup.isIn()) break;
            const std::uint16_t language = (setup.value & 0xFF00) == kStringDescriptorValue ? setup.index : 0;
            const auto descriptor = controller_->descriptor(setup.value, language);
            if (!descriptor) break;
            const std::size_t count = std::min(descriptor->size(), data.size());
            std::copy_n(descriptor->begin(), count, data.begin());
            return {TransferStatus::Ok, count};
        }
        case kGetStatus:
            std::fill(data.begin(), data.end(), 0);
            return {TransferStatus::Ok, data.size()};
        case kSetConfiguration:
            return {TransferStatus::Ok, 0};
        default:
            break;
    }
    return {TransferStatus::Stall, 0};
}

SimulatedCamera::ControlResult SimulatedCamera::vendorRequestLocked(const SetupPacket& setup,
                                                                    std::span<std::uint8_t> data,
                                                                    Clock::time_point now) {
    if (setup.request == kFirmwareLoadRequest) {
        if (setup.isIn()) {
            controller_->readMemory(setup.value, data);
            return {TransferStatus::Ok, data.size()};
        }
        switch (controller_->writeMemory(setup.value, data)) {
            case Fx2Controller::MemoryWriteEffect::FirmwareStarted: {
                const UsbIdentity identity = controller_->identity();
                fpga_->powerUp(hardwareModelFor(identity.productId, identity.release));
                detachLocked(now, "firmware started: re-attaching as " + identityText(identity));
                break;
            }
            case Fx2Controller::MemoryWriteEffect::FirmwareCrashed:
                present_ = false;
                detachLocked(now, "firmware did not start: no device descriptor in the loaded image");
                break;
            case Fx2Controller::MemoryWriteEffect::None:
                break;
        }
        return {TransferStatus::Ok, data.size()};
    }
    if (!controller_->firmwareRunning()) return {TransferStatus::Stall, 0};
    const auto value = static_cast<std::uint8_t>(setup.value);
    switch (setup.request) {
        case kFifoRequest:
            if (!setup.isIn() && value == 0) fpga_->resetFifo();
            if (setup.isIn()) std::fill(data.begin(), data.end(), 0);
            return {TransferStatus::Ok, data.size()};
        case kConfigurationRequest:
            if (!setup.isIn() && setup.value == kConfigurationResetValue) fpga_->resetConfiguration();
            if (!setup.isIn() && setup.value == kConfigurationDataValue) {
                std::string note = fpga_->configurationData(data);
                if (!note.empty()) noteLocked(std::move(note));
            }
            if (setup.isIn()) std::fill(data.begin(), data.end(), 0);
            return {TransferStatus::Ok, data.size()};
        case kControlWindow:
        case kFrontEndWindow:
            if (setup.isIn()) {
                fpga_->readRegister(setup.request, value, data);
            } else {
                fpga_->writeRegister(setup.request, value, data);
            }
            return {TransferStatus::Ok, data.size()};
        default:
            return {TransferStatus::Stall, 0};
    }
}

TransferStatus SimulatedCamera::cyclePort(std::uint64_t generation) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    LoggedRequest entry;
    entry.kind = LoggedRequest::Kind::PortCycle;
    entry.time = now;
    entry.status = attachedLocked(generation, now) ? TransferStatus::Ok : TransferStatus::NoDevice;
    if (entry.status == TransferStatus::Ok) {
        detachLocked(now, "port cycled: re-attaching as " + identityText(controller_->identity()));
    }
    const TransferStatus status = entry.status;
    appendLocked(std::move(entry));
    return status;
}

// ---- bulk transfers ----

std::uint64_t SimulatedCamera::submitBulkIn(std::uint64_t generation, std::uint8_t endpoint,
                                            std::uint8_t* buffer, std::size_t length, BulkCompletion done,
                                            TransferStatus* refusal) {
    std::lock_guard lock(mutex_);
    if (!attachedLocked(generation, Clock::now())) {
        *refusal = TransferStatus::NoDevice;
        return 0;
    }
    if (endpoint != kImageEndpoint) {
        *refusal = TransferStatus::Stall;
        return 0;
    }
    BulkRequest request;
    request.id = nextBulkId_++;
    request.buffer = buffer;
    request.length = length;
    request.completion = std::move(done);
    request.submittedAt = Clock::now();
    if (pendingTimeouts_ > 0) {
        --pendingTimeouts_;
        request.swallowed = true;
    }
    bulkQueue_.push_back(std::move(request));
    signalChangeLocked();
    return bulkQueue_.back().id;
}

void SimulatedCamera::cancelBulk(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    for (BulkRequest& request : bulkQueue_) {
        if (request.id == id) request.cancelled = true;
    }
    signalChangeLocked();
}

void SimulatedCamera::abortEndpoint(std::uint64_t generation, std::uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    if (endpoint == kImageEndpoint) {
        for (BulkRequest& request : bulkQueue_) request.cancelled = true;
    }
    LoggedRequest entry;
    entry.kind = LoggedRequest::Kind::Abort;
    entry.setup.index = endpoint;
    entry.time = Clock::now();
    entry.status = generation == generation_ ? TransferStatus::Ok : TransferStatus::NoDevice;
    appendLocked(std::move(entry));
    signalChangeLocked();
}

TransferStatus SimulatedCamera::clearHalt(std::uint64_t generation, std::uint8_t endpoint) {
    std::lock_guard lock(mutex_);
    LoggedRequest entry;
    entry.kind = LoggedRequest::Kind::PipeReset;
    entry.setup.index = endpoint;
    entry.time = Clock::now();
    entry.status = attachedLocked(generation, entry.time) ? TransferStatus::Ok : TransferStatus::NoDevice;
    if (entry.status == TransferStatus::Ok && endpoint == kImageEndpoint) endpointHalted_ = false;
    const TransferStatus status = entry.status;
    appendLocked(std::move(entry));
    return status;
}

void SimulatedCamera::finishFrontLocked(std::unique_lock<std::mutex>& lock, TransferStatus status) {
    BulkRequest request = std::move(bulkQueue_.front());
    bulkQueue_.pop_front();
    LoggedRequest entry;
    entry.kind = LoggedRequest::Kind::BulkIn;
    entry.setup.index = kImageEndpoint;
    entry.length = request.length;
    entry.delivered = request.done;
    entry.frame = request.endedFrame;
    entry.frameCaptured = request.endedFrameCaptured;
    entry.status = status;
    entry.time = Clock::now();
    appendLocked(std::move(entry));
    lock.unlock();
    request.completion(status, request.done);
    lock.lock();
}

void SimulatedCamera::serveBulk(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (bulkQueue_.empty()) {
            changed_.wait(lock, stop, [this] { return !bulkQueue_.empty(); });
            continue;
        }
        BulkRequest& request = bulkQueue_.front();  // only this thread pops, so it stays valid
        if (request.failure) {
            finishFrontLocked(lock, *request.failure);
        } else if (request.cancelled) {
            finishFrontLocked(lock, TransferStatus::Cancelled);
        } else if (request.swallowed) {
            changed_.wait(lock, stop,
                          [&request] { return request.cancelled || request.failure.has_value(); });
        } else if (endpointHalted_ || pendingStall_) {
            pendingStall_ = false;
            endpointHalted_ = true;
            finishFrontLocked(lock, TransferStatus::Stall);
        } else if (!fpga_->streamPending()) {
            changed_.wait(lock, stop, [this, &request] {
                return fpga_->streamPending() || request.cancelled || request.failure || pendingStall_ ||
                       endpointHalted_;
            });
        } else {
            const Fpga::StreamPiece piece =
                fpga_->takeStream(std::min(kBulkChunkBytes, request.length - request.done));
            // A real camera streams a frame out of its memory back to back: the piece goes on the
            // wire once the frame is armed, the request waits and the previous piece is out,
            // while this thread renders it.
            const auto onBus =
                bus_->reserve(piece.length, std::max({request.submittedAt, streamArmedAt_, wireDoneAt_}));
            wireDoneAt_ = onBus;
            lock.unlock();
            renderFrameBytes(piece.frame, piece.offset, {request.buffer + request.done, piece.length});
            lock.lock();
            changed_.wait_until(lock, stop, onBus,
                                [&request] { return request.cancelled || request.failure; });
            // A camera that left before the piece was out delivered none of it: the request ends
            // with the failure next round, never as a complete frame.
            if (request.failure) continue;
            request.done += piece.length;
            // A frame's last bytes end the request early, as a short packet would.
            if (piece.last) {
                request.endedFrame = piece.frame.number;
                request.endedFrameCaptured = piece.frame.capturedAt;
            }
            if (request.done == request.length || piece.last) finishFrontLocked(lock, TransferStatus::Ok);
        }
    }
    while (!bulkQueue_.empty()) finishFrontLocked(lock, TransferStatus::NoDevice);
}

// ---- frames ----

void SimulatedCamera::captureLocked() {
    fpga_->captureFrame(Clock::now());
    signalChangeLocked();
}

void SimulatedCamera::produceFrames(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    bool wasAcquiring = false;
    Clock::time_point lastCapture;
    while (!stop.stop_requested()) {
        if (!fpga_->acquiring()) {
            wasAcquiring = false;
            fpga_->takeSoftwareStart();  // a start pulse while not acquiring starts nothing
            changed_.wait(lock, stop, [this] { return fpga_->acquiring(); });
            continue;
        }
        const auto now = Clock::now();
        if (!wasAcquiring) {
            wasAcquiring = true;
            lastCapture = now;
        }
        const Fpga::Trigger trigger = fpga_->trigger();
        if (fpga_->takeSoftwareStart() && trigger == Fpga::Trigger::Software) captureLocked();
        Clock::time_point next = Clock::time_point::max();
        if (trigger == Fpga::Trigger::Internal) {
            next = lastCapture + fpga_->frameInterval();
            if (now >= next) {
                captureLocked();
                // Never catch up with a burst after a stall of this thread.
                lastCapture = std::max(next, now - fpga_->frameInterval());
                continue;
            }
        }
        // Woken by every request, so a changed period or mode takes effect at once.
        const std::uint64_t seen = changes_;
        const auto changed = [this, seen] { return changes_ != seen; };
        if (next == Clock::time_point::max()) {
            changed_.wait(lock, stop, changed);
        } else {
            changed_.wait_until(lock, stop, next, changed);
        }
    }
}

void SimulatedCamera::externalTrigger() {
    std::lock_guard lock(mutex_);
    if (fpga_->acquiring() && fpga_->trigger() == Fpga::Trigger::External) captureLocked();
}

// ---- test side ----

unsigned SimulatedCamera::registerValue(unsigned address) const {
    std::lock_guard lock(mutex_);
    return fpga_->registerValue(static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address));
}

unsigned SimulatedCamera::moduleRegister(int number) const {
    std::lock_guard lock(mutex_);
    return fpga_->moduleRegister(number);
}

std::uint32_t SimulatedCamera::framesCaptured() const {
    std::lock_guard lock(mutex_);
    return fpga_->framesCaptured();
}

std::uint32_t SimulatedCamera::framesLost() const {
    std::lock_guard lock(mutex_);
    return fpga_->framesLost();
}

void SimulatedCamera::setTemperatures(int cameraTemperature, int sensorTemperature) {
    std::lock_guard lock(mutex_);
    fpga_->setTemperatures(cameraTemperature, sensorTemperature);
}

void SimulatedCamera::injectBulkTimeout(int count) {
    std::lock_guard lock(mutex_);
    pendingTimeouts_ += count;
}

void SimulatedCamera::injectBulkStall() {
    std::lock_guard lock(mutex_);
    pendingStall_ = true;
    signalChangeLocked();
}

void SimulatedCamera::injectShortFrame(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    fpga_->truncateNextStream(bytes);
}

void SimulatedCamera::failNextReattach() {
    std::lock_guard lock(mutex_);
    failReattach_ = true;
}

void SimulatedCamera::unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
    detachLocked(Clock::now(), "unplugged: left the bus");
    flushNotesLocked();
}

void SimulatedCamera::replug() {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    // Whatever was still on the bus leaves it; requests of the old generation fail.
    if (attachedLocked(generation_, now)) detachLocked(now, "power cycled: left the bus");
    for (BulkRequest& request : bulkQueue_) request.failure = TransferStatus::NoDevice;
    ++generation_;
    powerUpLocked();
    present_ = true;
    unplugged_ = false;
    failReattach_ = false;
    endpointHalted_ = false;
    pendingTimeouts_ = 0;
    pendingStall_ = false;
    attachAt_ = now;
    noteLocked("replugged: attached as " + identityText(controller_->identity()));
    flushNotesLocked();
    signalChangeLocked();
    if (busChanged_) busChanged_();
}

}  // namespace simulator
