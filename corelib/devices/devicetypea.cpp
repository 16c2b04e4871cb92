#include "devices/devicetypea.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "hardware/registers/controlwindow.h"
#include "hardware/registers/familya.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using namespace registers;
using namespace registers::familya;

// Family A cameras always have four frame slots.
constexpr int kSlotCount = 4;

// The FPGA keeps its frame while no raw frame is free; look again after this pause.
constexpr auto kNoRawFramePause = std::chrono::milliseconds(10);

constexpr int kBytesPerPixel = 2;

}  // namespace

DeviceTypeA::DeviceTypeA(std::unique_ptr<IHwLayer> layer, const TypeADescription& description)
    : Device(std::move(layer), description.model) {
    buildSettings();
    LoadConfiguration(description.model.configurationFile);
    showIdentity(nullptr);
    if (description.start != nullptr) applyStart(*description.start);
}

DeviceTypeA::~DeviceTypeA() {
    shutDown();
}

void DeviceTypeA::LoadConfiguration(const std::string& file) {
    bringUp(file, kModuleAddressOffset);
    synchronisation_ = RegisterImage(&hw(), registers_.window + kSynchronisationOffset);
}

void DeviceTypeA::switchOffForSettings() {
    control_.setBit(kControlAcquire, false);
    synchronisation_.setBit(kSyncAcquire, false);
    buffers_.setAcquisitionEnabled(false);
}

void DeviceTypeA::switchOffForStop() {
    buffers_.setAcquisitionEnabled(false);
    synchronisation_.setBit(kSyncAcquire, false);
    control_.setBit(kControlAcquire, false);
}

void DeviceTypeA::switchOn() {
    currentSlot_ = 0;
    synchronisation_.setBit(kSyncStarted, true);
    control_.setBit(kControlAcquire, true);
    std::this_thread::sleep_for(kAcquisitionSettle);
    buffers_.setAcquisitionEnabled(true);
    synchronisation_.setBit(kSyncAcquire, true);
}

std::optional<Device::ReadyFrame> DeviceTypeA::newestReadyFrame(int slot, int busySlot) {
    const auto isReady = [](unsigned mask, int at) { return (mask >> at & 1u) != 0; };
    const auto polledAt = std::chrono::steady_clock::now();
    unsigned ready = buffers_.readyMask();
    if (!isReady(ready, slot)) {
        slotEmpty(polledAt);
        return std::nullopt;
    }
    buffers_.touchTransferLength();
    // Skip to the newest frame: older ones are dropped. At most three slots are skipped, whatever
    // flags the camera shows.
    for (int skipped = 0; skipped < kSlotCount - 1; ++skipped) {
        const int next = (slot + 1) % kSlotCount;
        if (next == busySlot || !isReady(ready, next)) break;
        buffers_.acknowledge(slot);
        framesSkipped(1);
        slot = next;
        ready = buffers_.readyMask();
    }
    return ReadyFrame{slot, polledAt};
}

void DeviceTypeA::inputStep() {
    std::optional<ReadyFrame> found = std::exchange(nextReady_, std::nullopt);
    if (!found) found = newestReadyFrame(currentSlot_, kNoSlot);
    if (!found) {
        pauseForNextFrame();
        return;
    }
    currentSlot_ = found->slot;

    if (cameraSettings_.width == nullptr || cameraSettings_.height == nullptr) return;
    // The size the camera was last given, which is what it reads out: a client may have changed
    // the settings since, and the new size reaches the camera only at the next step.
    const int width = static_cast<int>(cameraSettings_.width->GetWrittenIn(ZmCoreLib::kUnitPixel));
    const int height = static_cast<int>(cameraSettings_.height->GetWrittenIn(ZmCoreLib::kUnitPixel));
    if (width <= 0 || height <= 0) return;
    const int size = width * height * kBytesPerPixel;
    ZmCoreLib::IMemBlock* frame = rawBuffer()->Allocate(size);
    if (frame == nullptr) {
        // The FPGA keeps the frame, which stays the one to read.
        noRawFrameFree();
        nextReady_ = found;
        std::this_thread::sleep_for(kNoRawFramePause);
        return;
    }
    frameFetched(found->polledAt);
    buffers_.prepareTransfer(currentSlot_, size);
    // While the frame's tail is on the wire, the next frame is looked for (and older ones skipped)
    // in the other slots, so that only the acknowledgement and the next transfer's set-up are
    // left between the two frames on the bus.
    const bool read = readAndCommitRawFrame(frame, width, height, [this] {
        nextReady_ = newestReadyFrame((currentSlot_ + 1) % kSlotCount, currentSlot_);
    });
    if (!read) nextReady_.reset();
    // A frame whose read failed is lost either way: the slot is freed for the next one.
    buffers_.acknowledge(currentSlot_);
    currentSlot_ = (currentSlot_ + 1) % kSlotCount;
}

std::optional<std::chrono::microseconds> DeviceTypeA::ownFrameInterval() const {
    const CameraSettings& s = cameraSettings_;
    // The synchronisation register takes the input source's code; 0 is the camera's own generator.
    if (s.inputSource == nullptr || s.inputSource->GetRegisterCode() != 0 || s.framePeriod == nullptr)
        return std::nullopt;
    std::int64_t ns = s.framePeriod->GetWrittenIn(ZmCoreLib::kUnitNanosecond);
    if (s.exposure != nullptr) ns = std::max(ns, s.exposure->GetWrittenIn(ZmCoreLib::kUnitNanosecond));
    if (ns <= 0) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(ns));
}

void DeviceTypeA::RepackStep() {
    repackStep(PixelPacking::kBigEndian16, false);
}

}  // namespace ZmCoreLib_v4
