#include "devices/device.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

#include "devices/environment.h"
#include "devices/serialquery.h"
#include "hardware/registers/configuration.h"
#include "hardware/registers/controlwindow.h"
#include "platform/messagebox.h"

namespace ZmCoreLib_v4 {

namespace {

// The repack thread waits this long for the camera thread's next raw frame before its step ends;
// a commit wakes it at once, so the wait costs no latency, and so does every operation that takes
// the repack lock, so none waits for the bound, which only spares a waiting camera's repack
// thread from waking often.
constexpr std::uint32_t kRawFrameWaitMs = 250;
// The repack thread's pause while every output frame is still with the clients.
constexpr std::uint32_t kOutputFrameWaitMs = 2;
// The setting side waits this many tries for the command buffer.
constexpr int kCheckLockTries = 1000;
// A frame's bulk read may take this long per request before it fails.
constexpr int kBulkReadTimeoutMs = 1000;
constexpr int kBitsPerPixel = 16;
// The camera thread tries the command buffer only twice: a setting side that holds it now is
// served at the next step.
constexpr int kWriterLockTries = 2;
using registers::buffermanager::kReady;
using registers::buffermanager::kSlot;
using registers::buffermanager::kStartPulse;
using registers::buffermanager::kTransferArmed;
using registers::buffermanager::kTransferStart;

// The process's camera objects, a list through Device::nextLive_. Constant-initialised and
// without destructors to run, so a camera object destroyed late at exit still finds them.
static_assert(std::is_trivially_destructible_v<std::mutex>);
std::mutex liveDevicesLock;
Device* liveDevices = nullptr;

std::int64_t nowNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

constexpr auto stageIndex(ZmCoreLib::DropStage stage) {
    return static_cast<std::size_t>(stage);
}

void sleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Every camera of the process shares the same events, so their problem is told once.
void reportUnusableEvents(std::initializer_list<const platform::NamedEvent*> events) {
    static std::atomic<bool> reported{false};
    for (const platform::NamedEvent* event : events) {
        if (!event->valid() && !reported.exchange(true))
            platform::showMessageBox(Environment::kMessageCaption, event->problem());
    }
}

}  // namespace

// ---- RegisterImage ---------------------------------------------------------------------------

void RegisterImage::setFields(std::initializer_list<FieldValue> fields) {
    setFieldsQuietly(fields);
    write(image_);
}

void RegisterImage::setFieldsQuietly(std::initializer_list<FieldValue> fields) {
    unsigned mask = 0;
    unsigned bits = 0;
    for (const FieldValue& field : fields) {
        mask |= field.field.mask();
        bits |= field.field.place(field.value);
    }
    image_ = (image_ & ~mask) | bits;
}

// ---- FpgaBufferManager -----------------------------------------------------------------------

unsigned FpgaBufferManager::readyMask() {
    return kReady.extract(layer_->ReadRegister(register_.address()));
}

void FpgaBufferManager::pulseStart() {
    register_.setBit(kStartPulse, true);
    register_.setBit(kStartPulse, false);
}

void FpgaBufferManager::prepareTransfer(int slot, int bytes) {
    register_.setBit(kTransferArmed, false);
    layer_->WriteRegister(registers::kFifoReset, 0);
    // The slot selection goes out with the ready flags and the start bit as 0.
    register_.setFieldsQuietly({{kSlot, slot}});
    register_.write(register_.image() & ~(kReady.mask() | kTransferStart.mask()));
    register_.setBit(kTransferStart, false);
    register_.setBit(kTransferArmed, true);
    layer_->WriteRegister(transferLength_, static_cast<unsigned>(bytes) & ~1u & RegisterImage::kRegisterMask);
}

void FpgaBufferManager::acknowledge(int slot) {
    register_.write(register_.image() | kReady.place(1u << slot));
    register_.setFieldsQuietly({{kReady, 0}});
}

// ---- Threads ---------------------------------------------------------------------------------

int Device_CameraThread::Run() {
    while (!IsStopRequested()) {
        {
            platform::MutexLock lock(device_->cameraLock_, Device::kStepLockTimeoutMs);
            if (lock.owns()) device_->CameraStep();
        }
        std::this_thread::yield();
        // Without the camera lock, so that client operations never wait for the pause.
        device_->waitForNextStep(*this);
    }
    return 0;
}

int Device_RepackThread::Run() {
    while (!IsStopRequested()) {
        {
            platform::MutexLock lock(device_->repackLock_, Device::kStepLockTimeoutMs);
            if (lock.owns()) device_->RepackStep();
        }
        std::this_thread::yield();
        // Stop() holds the thread here.
        WaitRunOrStop();
    }
    return 0;
}

// ---- Device ----------------------------------------------------------------------------------

Device::Device(std::unique_ptr<IHwLayer> layer, const ModelDescription& model)
    : hwLayer_(std::move(layer)),
      model_(model),
      fibreOptic_(model.fibreOptic ? 1 : 0),
      rotation_(model.rotationDegrees),
      sensorTemperature_(model.sensorTemperature),
      fpgaBufferCount_(model.fpgaSlots) {
    cameraSettings_.sensor = model.sensor;
    cameraThread_.setDevice(this);
    repackThread_.setDevice(this);
    reportUnusableEvents({&runEvent_, &stopEvent_, &stoppedEvent_});
    std::lock_guard lock(liveDevicesLock);
    nextLive_ = liveDevices;
    liveDevices = this;
}

Device::~Device() {
    {
        std::lock_guard lock(liveDevicesLock);
        Device** link = &liveDevices;
        while (*link != this) link = &(*link)->nextLive_;
        *link = nextLive_;
    }
    shutDown();
}

ZmCoreLib::IDeviceEx* Device::extensionOf(ZmCoreLib::IDevice* device) {
    std::lock_guard lock(liveDevicesLock);
    for (Device* live = liveDevices; live != nullptr; live = live->nextLive_) {
        if (static_cast<ZmCoreLib::IDevice*>(live) == device) return live;
    }
    return nullptr;
}

bool Device::GetFrameInfo(ZmCoreLib::IFrame* frame, ZmCoreLib::FrameInfo* info) {
    ZmCoreLib::FrameBuffer* output = openOutput_.load();
    if (output == nullptr || frame == nullptr || info == nullptr) return false;
    const ZmCoreLib::FrameMemBlock* block = output->frameOf(frame);
    if (block == nullptr) return false;
    *info = block->info();
    return true;
}

void Device::GetDropLedger(ZmCoreLib::DropLedger* ledger) {
    if (ledger == nullptr) return;
    ledger->delivered = delivered_.load();
    for (std::size_t stage = 0; stage < lost_.size(); ++stage) ledger->lost[stage] = lost_[stage].load();
}

bool Device::CountDrop(ZmCoreLib::DropStage stage, std::uint32_t frames) {
    if (stage != ZmCoreLib::DropStage::kReplacedInFilter && stage != ZmCoreLib::DropStage::kFileNotWritten)
        return false;
    countLost(stage, frames);
    return true;
}

ZmCoreLib::DeviceState Device::GetState() {
    if (openOutput_.load() == nullptr) return ZmCoreLib::DeviceState::kClosed;
    return started_ ? ZmCoreLib::DeviceState::kStarted : ZmCoreLib::DeviceState::kOpen;
}

int Device::droppedFrames() const {
    return static_cast<int>(lost_[stageIndex(ZmCoreLib::DropStage::kBulkFailed)].load() +
                            lost_[stageIndex(ZmCoreLib::DropStage::kBulkShort)].load());
}

void Device::countLost(ZmCoreLib::DropStage stage, std::uint64_t frames) {
    if (frames != 0) lost_[stageIndex(stage)] += frames;
}

ZmCoreLib::IFrameBuffer* Device::Open() {
    if (outputBuffer_) return outputBuffer_.get();
    // The user was told why at bring-up.
    if (!configurationProblem_.empty()) return nullptr;
    // Values set while the settings were built never passed Check; the threads do not run yet.
    for (ZmCoreLib::Setting& setting : settings_) {
        if (setting.GetEnum() != nullptr || setting.GetScalar() != nullptr) {
            commandBuffer_.Push(static_cast<int>(setting.GetId()));
        }
    }
    outputBuffer_ = std::make_unique<ZmCoreLib::FrameBuffer>();
    rawBuffer_ = std::make_unique<ZmCoreLib::FrameBuffer>();
    rawBuffer_->AddObserver(&rawFrameSignal_);
    if (!cameraThread_.Start(false) || !repackThread_.Start(false)) {
        // Without both threads the camera could never deliver a frame: stay closed.
        shutDown();
        return nullptr;
    }
    openOutput_ = outputBuffer_.get();
    return outputBuffer_.get();
}

void Device::Close() {
    Stop();
    shutDown();
}

void Device::shutDown() {
    {
        platform::MutexLock camera(cameraLock_, platform::kWaitForever);
        rawFrameSignal_.wake();
        platform::MutexLock repack(repackLock_, platform::kWaitForever);
        stopThreadsLocked();
        if (rawBuffer_) discardRawFramesLocked();  // the raw buffer goes now
    }
    started_ = false;
    openOutput_ = nullptr;
    outputBuffer_.reset();
    rawBuffer_.reset();
}

void Device::stopThreadsLocked() {
    // With both locks held a thread cannot enter a step, so it sees the stop request within one
    // lock timeout; only a starved scheduler makes a bound run out, and then we wait again
    // rather than destroy what the thread still uses.
    while (repackThread_.IsRunning() && !repackThread_.Stop(kThreadStopTimeoutMs)) {
    }
    while (cameraThread_.IsRunning() && !cameraThread_.Stop(kThreadStopTimeoutMs)) {
    }
}

ZmCoreLib::ISettingIterator* Device::GetSettings() {
    return new ZmCoreLib::SettingIterator(&settings_);
}

ZmCoreLib::ISetting* Device::FindSetting(unsigned id) {
    for (ZmCoreLib::Setting& setting : settings_) {
        if (setting.GetId() == id) return &setting;
    }
    return nullptr;
}

ZmCoreLib::IFrameBuffer* Device::GetFrameBuffer() {
    return outputBuffer_.get();
}

void Device::Start() {
    if (started_ || !outputBuffer_) return;
    // With both locks no step runs, so no raw frame is half filled while the buffers are emptied.
    platform::MutexLock camera(cameraLock_, platform::kWaitForever);
    rawFrameSignal_.wake();
    platform::MutexLock repack(repackLock_, platform::kWaitForever);
    // Raw frames, and one kept back for want of an output frame, belong to the previous run.
    discardRawFramesLocked();
    outputBuffer_->Reset();  // throws while a client holds a frame
    outputRingFull_ = false;
    started_ = true;
    repackThread_.Resume();
    wakeCameraThread();
}

void Device::Stop() {
    {
        rawFrameSignal_.wake();
        platform::MutexLock repack(repackLock_, platform::kWaitForever);
        repackThread_.Pause();
    }
    started_ = false;
    wakeCameraThread();
}

void Device::drainRawBuffer() {
    rawFrameSignal_.wake();
    platform::MutexLock repack(repackLock_, platform::kWaitForever);
    if (rawBuffer_) discardRawFramesLocked();
}

void Device::discardRawFramesLocked() {
    std::uint64_t discarded = 0;
    if (pendingRawFrame_) {
        pendingRawFrame_->Release();
        pendingRawFrame_ = nullptr;
        ++discarded;
    }
    while (ZmCoreLib::IFrame* frame = rawBuffer_->GetFrame()) {
        frame->Release();
        ++discarded;
    }
    countLost(ZmCoreLib::DropStage::kDiscardedAtRestart, discarded);
}

void Device::countFramesLeftInCamera() {
    const unsigned slots = (1u << fpgaBufferCount_) - 1;
    const auto held = static_cast<std::uint32_t>(std::popcount(buffers_.readyMask() & slots));
    // With a slot free the camera kept every frame it made; with every slot full, or while the
    // camera thread was held up, the camera may have made frames it could not keep.
    const std::optional<std::chrono::microseconds> interval = ownFrameInterval();
    if (interval && (held == static_cast<std::uint32_t>(fpgaBufferCount_) || stallCause_)) {
        const std::uint32_t due = numbering_.framesDueBy(Clock::now(), *interval);
        const std::uint32_t unkept = due > held ? due - held : 0;
        numbering_.framesLost(unkept);
        countLost(lossStage(), unkept);
    }
    numbering_.framesLost(held);
    countLost(ZmCoreLib::DropStage::kDiscardedAtRestart, held);
}

int Device::Check(unsigned settingId) {
    // Only a lock that was taken is given back.
    const bool locked = commandBuffer_.Lock(CommandBuffer::kSetterClass, kCheckLockTries);
    coupleSettings(settingId);
    commandBuffer_.Push(static_cast<int>(settingId));
    if (locked) commandBuffer_.Unlock();
    wakeCameraThread();
    return 0;
}

void Device::bringUp(const std::string& file, unsigned moduleAddressOffset) {
    const unsigned window =
        registers::kControlWindow + (model_.fibreOptic ? registers::kFibreOpticOffset : 0);
    registers_.window = window;
    registers_.control = window + registers::kControlOffset;
    registers_.version = window + registers::kVersionOffset;
    registers_.moduleAddress = window + moduleAddressOffset;
    control_ = RegisterImage(hwLayer_.get(), registers_.control);
    // The frame slots count from the first window offset, 0 on every camera.
    buffers_ = FpgaBufferManager(hwLayer_.get(), registers::kControlWindow + registers::kBufferManagerOffset,
                                 registers::kControlWindow + registers::kTransferLengthOffset);

    std::string fileProblem;
    const bool loaded = loadFpgaConfiguration(*hwLayer_, file, 0, &fileProblem) == 0;

    const unsigned version = hwLayer_->ReadRegister(registers_.version);
    // An FPGA that took its configuration shows its version; one that did not answers 0.
    if (file.empty()) {
        configurationProblem_ =
            "No FPGA configuration file is known for this camera, so it cannot deliver "
            "pictures. This library does not support it yet: ask the camera's supplier "
            "for one that does.";
    } else if (!loaded || version == 0) {
        std::error_code noFolder;
        const std::string folder = std::filesystem::current_path(noFolder).string();
        const std::string where = "\"" + file + "\" (in " + folder + ")";
        configurationProblem_ =
            loaded
                ? "The camera did not take its FPGA configuration file " + where +
                      ": the file may be damaged, cut short or meant for another model. The camera cannot "
                      "deliver pictures. Put the file supplied with the camera in its place, then start "
                      "the program again."
                : "The camera's FPGA configuration file " + where + " " + fileProblem +
                      ", so the camera cannot deliver pictures. Start the program in the folder that holds "
                      "the cameras' configuration files, or put the file supplied with the camera there, "
                      "then start the program again.";
    }
    if (!configurationProblem_.empty())
        platform::showMessageBox(Environment::kMessageCaption, configurationProblem_);
    if (cameraSettings_.version != nullptr) {
        const std::string text = std::to_string(registers::kVersionMajor.extract(version)) + "." +
                                 std::to_string(registers::kVersionMinor.extract(version));
        cameraSettings_.version->SetText(std::u16string(text.begin(), text.end()));
    }

    const unsigned moduleDataRegister = registers_.moduleAddress + registers::kModuleDataAfterAddress;
    hwLayer_->WriteRegister(registers_.moduleAddress, 0);
    hwLayer_->WriteRegister(moduleDataRegister, 0);
    const int type =
        static_cast<int>(registers::kModuleType.extract(hwLayer_->ReadRegister(moduleDataRegister)));
    // No module answers 0; a type this library does not know is left alone.
    if (!ModuleIccd::isKnownType(type)) return;
    module_ = std::make_unique<ModuleIccd>(this, type);
    module_->SetBaseAddress(static_cast<int>(registers_.moduleAddress));
    module_->SetHwLayer(hwLayer_.get());
    rotation_ += module_->GetRotation();
    settings_.insert(settings_.end(), module_->settings().begin(), module_->settings().end());
}

void Device::showIdentity(const char16_t* name) {
    if (name == nullptr) name = model_.name;
    if (name != nullptr) cameraSettings_.name->SetText(name);
    cameraSettings_.interfaceName->SetText(model_.interfaceName);
    showSerialNumbers(*hwLayer_, model_.serials, settingFactory_, cameraSettings_);
}

void Device::repackStep(PixelPacking packing, bool carryTag) {
    if (pendingRawFrame_ == nullptr) {
        ZmCoreLib::IFrame* raw = rawBuffer_->GetFrame();
        if (raw == nullptr) {
            rawFrameSignal_.wait(kRawFrameWaitMs);
            return;
        }
        pendingRawFrame_ = static_cast<ZmCoreLib::FrameMemBlock*>(raw);
    }
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    pendingRawFrame_->GetFormat(&width, &height, &bitsPerPixel);
    ZmCoreLib::IMemBlock* block = outputBuffer_->Allocate(width * height * bitsPerPixel / 8);
    if (block == nullptr) {
        outputRingFull_ = true;
        sleepMs(kOutputFrameWaitMs);
        return;
    }
    outputRingFull_ = false;
    auto* out = static_cast<ZmCoreLib::FrameMemBlock*>(block);
    out->SetTag(carryTag ? pendingRawFrame_->GetTag() : 0);
    ZmCoreLib::FrameInfo info = pendingRawFrame_->info();
    info.framesMissedBefore = static_cast<std::uint32_t>(info.frameNumber - lastDeliveredNumber_ - 1);
    const int rotation = (rotation_ % 360 + 360) % 360;
    const std::size_t rawBytes = static_cast<std::size_t>(pendingRawFrame_->GetSize());
    if (width > 0 && height > 0) {
        repackFrame(static_cast<const std::uint8_t*>(pendingRawFrame_->GetData()), rawBytes, packing, width,
                    height, rotation, static_cast<std::uint16_t*>(out->GetData()));
    }
    const bool quarterTurn = rotation == 90 || rotation == 270;
    out->SetFormat(quarterTurn ? height : width, quarterTurn ? width : height, bitsPerPixel);
    out->setInfo(info);
    if (out->Commit()) {
        lastDeliveredNumber_ = info.frameNumber;
        ++delivered_;
    } else {
        out->Release();
        countLost(ZmCoreLib::DropStage::kOutputRingFull, 1);
    }
    pendingRawFrame_->Release();
    pendingRawFrame_ = nullptr;
}

void Device::CameraStep() {
    resumeAt_ = Clock::now();
    if (!started_) {
        if (acquiring_) {
            switchOffForStop();
            countFramesLeftInCamera();
            acquiring_ = false;
            // The next start drops them anyway; the ledger is whole as soon as the camera stops.
            drainRawBuffer();
        } else {
            pauseWhileStopped();
        }
        return;
    }
    if (!acquiring_) {
        buffers_.pulseStart();
        std::this_thread::sleep_for(kStartPulseSettle);
    }
    if (!commandBuffer_.IsEmpty() && commandBuffer_.Lock(CommandBuffer::kWriterClass, kWriterLockTries)) {
        switchOffForSettings();
        if (acquiring_) countFramesLeftInCamera();
        writePendingSettings();
        commandBuffer_.Unlock();
        settingsWritten();
        acquiring_ = false;
    }
    if (!acquiring_) {
        switchOn();
        acquisitionRestarted();
        acquiring_ = true;
    }
    inputStep();
}

void Device::acquisitionRestarted() {
    numbering_.acquisitionStarted(Clock::now());
    stallCause_.reset();
    // The first frame comes when the camera's own timing says, which the host does not know.
    lastFrameSeen_.reset();
    nextReady_.reset();  // the restart emptied the slots
    scheduledWake_ = false;
    scheduleMargin_ = kScheduleMargin;
    framePollMs_ = kMinFramePollMs;
}

void Device::waitForNextStep(Device_CameraThread& thread) {
    const auto remaining = resumeAt_ - Clock::now();
    if (remaining <= Clock::duration::zero()) return;
    // Whole milliseconds on the wake event, then the rest of a millisecond asleep, so that a
    // scheduled look is not late by the event's millisecond grain.
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(remaining).count();
    if (ms > 0 && thread.waitStopOr(
                      wake_, static_cast<std::uint32_t>(std::min<long long>(ms, platform::kWaitForever - 1))))
        return;
    std::this_thread::sleep_until(std::min(resumeAt_, Clock::now() + std::chrono::milliseconds(1)));
}

void Device::frameFetched(Clock::time_point polledAt) {
    if (scheduledWake_) {
        // Ready at the first look: it may have waited, so look earlier next time.
        scheduleMargin_ =
            looksSinceWake_ == 0
                ? std::min<Clock::duration>(2 * scheduleMargin_, kMaxScheduleMargin)
                : std::max<Clock::duration>(scheduleMargin_ - scheduleMargin_ / 8, kScheduleMargin);
        scheduledWake_ = false;
    }
    lastFrameSeen_ = polledAt;
    framePollMs_ = kMinFramePollMs;

    const std::optional<std::chrono::microseconds> interval = ownFrameInterval();
    const FrameNumbering::Taken taken =
        numbering_.frameTaken(polledAt, interval ? std::optional<Clock::duration>(*interval) : std::nullopt);
    countLost(lossStage(), taken.inferred);
    // A frame that arrived on time, after any wait for a raw frame, shows that the camera thread
    // has caught up with the camera; the frame that waited arrived on time before the wait.
    if (taken.timed && !waitedForRawFrame_) stallCause_.reset();
    waitedForRawFrame_ = false;
    const auto writtenNs = [](const SettingScalar* setting) {
        return setting != nullptr
                   ? static_cast<std::int64_t>(setting->GetWrittenIn(ZmCoreLib::kUnitNanosecond))
                   : 0;
    };
    // The times are those of the transfer's end, and the gap is known only once the frame is
    // delivered.
    fetchedInfo_ = ZmCoreLib::FrameInfo{};
    fetchedInfo_.frameNumber = taken.number;
    fetchedInfo_.exposureNs = writtenNs(cameraSettings_.exposure);
    fetchedInfo_.framePeriodNs = writtenNs(cameraSettings_.framePeriod);
}

void Device::framesSkipped(std::uint32_t frames) {
    numbering_.framesLost(frames);
    countLost(lossStage(), frames);
}

void Device::noRawFrameFree() {
    waitedForRawFrame_ = true;
    // The output ring is the root cause once it has held the repack step up during the wait.
    if (outputRingFull_ || stallCause_ == ZmCoreLib::DropStage::kOutputRingFull)
        stallCause_ = ZmCoreLib::DropStage::kOutputRingFull;
    else
        stallCause_ = ZmCoreLib::DropStage::kRawRingFull;
}

void Device::pauseForNextFrame() {
    const auto now = Clock::now();
    const std::optional<std::chrono::microseconds> interval = ownFrameInterval();
    if (interval && lastFrameSeen_) {
        const auto due = *lastFrameSeen_ + *interval;
        if (now + scheduleMargin_ < due) {
            resumeAt_ = due - scheduleMargin_;
            scheduledWake_ = true;
            looksSinceWake_ = 0;
            return;
        }
        if (now < due + scheduleMargin_) {
            // Due any moment: the next look follows at once.
            ++looksSinceWake_;
            return;
        }
    }
    // Late, not yet timed, or triggered.
    scheduledWake_ = false;
    if (triggered_.exchange(false)) framePollMs_ = kMinFramePollMs;
    pauseForFreeRawFrame();
}

void Device::pauseForFreeRawFrame() {
    resumeAt_ = Clock::now() + std::chrono::milliseconds(framePollMs_);
    framePollMs_ = std::min(framePollMs_ * 2, kMaxFramePollMs);
}

void Device::pauseWhileStopped() {
    // Start wakes the thread; the bound only keeps it looking at the stop request now and then.
    resumeAt_ = Clock::now() + std::chrono::milliseconds(kStoppedPollMs);
}

bool Device::readAndCommitRawFrame(ZmCoreLib::IMemBlock* block, int width, int height,
                                   const std::function<void()>& whileLastRequestRuns) {
    auto* frame = static_cast<ZmCoreLib::FrameMemBlock*>(block);
    const int length = frame->GetSize();
    const BulkRead read =
        hwLayer_->readDataOverlapping(frame->GetData(), &length, kBulkReadTimeoutMs, whileLastRequestRuns);
    if (read != BulkRead::kComplete) {
        frame->Release();
        countLost(
            read == BulkRead::kShort ? ZmCoreLib::DropStage::kBulkShort : ZmCoreLib::DropStage::kBulkFailed,
            1);
        return false;
    }
    ZmCoreLib::FrameInfo info = fetchedInfo_;
    info.monotonicNs = nowNs(CLOCK_MONOTONIC);
    info.realtimeNs = nowNs(CLOCK_REALTIME);
    frame->setInfo(info);
    frame->SetFormat(width, height, kBitsPerPixel);
    if (!frame->Commit()) {
        frame->Release();
        countLost(ZmCoreLib::DropStage::kRawRingFull, 1);
        return false;
    }
    return true;
}

}  // namespace ZmCoreLib_v4
