#include "devices/devicetypeb.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "devices/settingids.h"
#include "hardware/registers/controlwindow.h"
#include "hardware/registers/familyb.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using namespace registers;
using namespace registers::familyb;

constexpr auto kTemperaturePeriod = std::chrono::milliseconds(500);

constexpr int kBytesPerPixel = 2;

}  // namespace

DeviceTypeB::DeviceTypeB(std::unique_ptr<IHwLayer> layer, const TypeBDescription& description)
    : Device(std::move(layer), description.model), packed_(description.packed) {
    buildSettings();
    LoadConfiguration(description.model.configurationFile);
    showIdentity(description.channels.empty() ? nullptr : readChannel(description.channels));
    if (description.start != nullptr) applyStart(*description.start);
}

DeviceTypeB::~DeviceTypeB() {
    shutDown();
}

void DeviceTypeB::LoadConfiguration(const std::string& file) {
    bringUp(file, fibreOptic_ ? kModuleAddressOffsetFibreOptic : kModuleAddressOffset);
    temperatureRegister_ = registers_.window + kTemperatureOffset;
}

const char16_t* DeviceTypeB::readChannel(std::span<const ReadoutChannel> channels) {
    const unsigned channel = kChannel.extract(hw().ReadRegister(registers_.window + kChannelOffset));
    const auto found = std::find_if(channels.begin(), channels.end(),
                                    [channel](const ReadoutChannel& c) { return c.channel == channel; });
    if (found == channels.end()) return nullptr;
    cameraSettings_.sensor.pixelClockMhz = found->pixelClockMhz;
    return found->name;
}

void DeviceTypeB::SoftwareStart() {
    platform::MutexLock camera(cameraLock_, platform::kWaitForever);
    control_.setBit(kSoftwareStart, true);
    control_.setBit(kSoftwareStart, false);
    frameTriggered();
}

void DeviceTypeB::switchOffForSettings() {
    control_.setBit(kControlAcquire, false);
    control_.setBit(kControlReadout, false);
    buffers_.setAcquisitionEnabled(false);
}

void DeviceTypeB::switchOffForStop() {
    buffers_.setAcquisitionEnabled(false);
    control_.setBit(kControlReadout, false);
    control_.setBit(kControlAcquire, false);
    stoppedEvent_.set();
}

void DeviceTypeB::switchOn() {
    currentSlot_ = 0;
    // The control image carries the setting fields changed since the last write.
    control_.setBit(kControlAcquire, true);
    std::this_thread::sleep_for(kAcquisitionSettle);
    buffers_.setAcquisitionEnabled(true);
    control_.setBit(kControlReadout, true);
}

void DeviceTypeB::settingsWritten() {
    // Frames taken with the old settings are not delivered.
    drainRawBuffer();
}

void DeviceTypeB::updateTemperatures() {
    const unsigned value = hw().ReadRegister(temperatureRegister_);
    const auto show = [](ZmCoreLib::SettingString* setting, int& shown, unsigned temperature) {
        // Observers hear only of a change, not of every poll.
        if (setting == nullptr || static_cast<int>(temperature) == shown) return;
        shown = static_cast<int>(temperature);
        setting->SetNumber(shown);
    };
    show(cameraSettings_.sensorTemperature, shownSensorTemperature_, kSensorTemperature.extract(value));
    show(cameraSettings_.cameraTemperature, shownCameraTemperature_, kCameraTemperature.extract(value));
}

void DeviceTypeB::inputStep() {
    // Temperatures change slowly: a look now and then is enough, and spares the camera a
    // register read at every poll.
    const auto now = std::chrono::steady_clock::now();
    if (sensorTemperature_ && now >= nextTemperatureRead_) {
        updateTemperatures();
        nextTemperatureRead_ = now + kTemperaturePeriod;
    }
    std::optional<ReadyFrame> found = std::exchange(nextReady_, std::nullopt);
    if (!found) found = readyFrame(currentSlot_);
    if (!found) {
        pauseForNextFrame();
        return;
    }

    if (cameraSettings_.width == nullptr || cameraSettings_.height == nullptr) return;
    // The size the camera was last given, which is what it reads out: a client may have changed
    // the settings since, and the new size reaches the camera only at the next step.
    const int width = static_cast<int>(cameraSettings_.width->GetWrittenIn(ZmCoreLib::kUnitPixel));
    const int height = static_cast<int>(cameraSettings_.height->GetWrittenIn(ZmCoreLib::kUnitPixel));
    if (width <= 0 || height <= 0) return;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const int size =
        static_cast<int>(packed_ ? rawFrameBytes(PixelPacking::kPacked12, pixels) : pixels * kBytesPerPixel);
    ZmCoreLib::IMemBlock* frame = rawBuffer()->Allocate(size);
    if (frame == nullptr) {
        // The FPGA keeps the frame until a raw frame is free.
        noRawFrameFree();
        nextReady_ = found;
        pauseForFreeRawFrame();
        return;
    }
    frameFetched(found->polledAt);
    buffers_.prepareTransfer(currentSlot_, size);
    static_cast<ZmCoreLib::FrameMemBlock*>(frame)->SetTag(rawFrameTag_);
    // The tag follows the camera's frames, so it alternates also past a frame that was dropped.
    if (rawFrameTag_ != 0) rawFrameTag_ = rawFrameTag_ == 1 ? 2 : 1;
    const int nextSlot = currentSlot_ + 1 < fpgaBufferCount_ ? currentSlot_ + 1 : 0;
    // While the frame's tail is on the wire, the next slot is looked at, so that only the
    // acknowledgement and the next transfer's set-up are left between the two frames on the bus.
    const bool read = readAndCommitRawFrame(frame, width, height, [this, nextSlot] {
        if (nextSlot != currentSlot_) nextReady_ = readyFrame(nextSlot);
    });
    if (!read) nextReady_.reset();
    // A frame whose read failed is lost either way: the slot is freed for the next one.
    buffers_.acknowledge(currentSlot_);
    currentSlot_ = nextSlot;
}

std::optional<Device::ReadyFrame> DeviceTypeB::readyFrame(int slot) {
    const auto polledAt = std::chrono::steady_clock::now();
    if ((buffers_.readyMask() >> slot & 1u) == 0) {
        slotEmpty(polledAt);
        return std::nullopt;
    }
    // Slots are read strictly in turn: no frame is skipped.
    buffers_.touchTransferLength();
    return ReadyFrame{slot, polledAt};
}

std::optional<std::chrono::microseconds> DeviceTypeB::ownFrameInterval() const {
    const CameraSettings& s = cameraSettings_;
    // Code 0 of the input and exposure sources is the camera's own timer. Two-frame and
    // multi-frame modes make several frames per start, closer together than the frame period.
    const auto internal = [](const SettingEnum* source) {
        return source == nullptr || source->GetRegisterCode() == 0;
    };
    if (!internal(s.inputSource) || !internal(s.exposureSource) || s.framePeriod == nullptr)
        return std::nullopt;
    if (s.inputMode != nullptr && s.inputMode->GetValue() != ids::kModeSingleFrame &&
        s.inputMode->GetValue() != ids::kModeSingleFrameSequential)
        return std::nullopt;
    std::int64_t ns = s.framePeriod->GetWrittenIn(ZmCoreLib::kUnitNanosecond);
    if (s.exposure != nullptr) ns = std::max(ns, s.exposure->GetWrittenIn(ZmCoreLib::kUnitNanosecond));
    if (ns <= 0) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(ns));
}

void DeviceTypeB::RepackStep() {
    repackStep(packed_ ? PixelPacking::kPacked12 : PixelPacking::kBigEndian16, true);
}

}  // namespace ZmCoreLib_v4
