#include "fpga.h"

#include <algorithm>
#include <utility>

#include "simulator/configurationfile.h"

namespace simulator {

namespace {

// Buffer-manager register bits.
constexpr unsigned kPipelineReset = 1u << 0;
constexpr unsigned kAcquisitionEnable = 1u << 2;
constexpr unsigned kImageBits = 0x7;  // bits the register reads back as written
constexpr int kReadyShift = 8;
constexpr unsigned kByteMask = 0xFF;
constexpr int kSlotShift = 21;
constexpr unsigned kSlotMask = 3;

// Control register bits.
constexpr unsigned kControlAcquire = 1u << 0;
constexpr unsigned kControlSoftwareStart = 1u << 13;
constexpr int kInputSourceShiftB = 10;
constexpr int kInputSourceShiftA = 4;  // in the synchronisation register
constexpr unsigned kInputSourceSoftware = 3;
constexpr int kBinXShiftB = 4;
constexpr int kBinYShiftB = 7;
constexpr unsigned kBinMaskB = 7;

constexpr std::uint8_t kQueryCommand = 0x80;
constexpr std::uint8_t kSerialQuery = 0x50;
constexpr std::uint8_t kFibreSerialQuery = 0x51;
constexpr std::size_t kQueryAnswerSize = 8;

constexpr unsigned kFibreWindowOffset = 96;
constexpr unsigned kValueMask = 0xFFFFFF;
constexpr int kModuleTypeShift = 16;
constexpr unsigned kTemperatureMask = 0x1FF;
constexpr int kCameraTemperatureShift = 12;
constexpr std::size_t kConfigurationLimit = 8u << 20;
constexpr auto kMinimumFrameInterval = std::chrono::milliseconds(1);

// Time word units (bits 23-22) of family B timing registers.
constexpr unsigned kTimeWordReference = 0x200000;
constexpr int kTimeUnitShift = 22;
constexpr unsigned kTimeTicksMask = 0x3FFFFF;
constexpr unsigned kTimeCountMask = 0xFFFFF;

}  // namespace

// Register offsets within the 0xE2 window for the board's family and window offset.
struct Fpga::Layout {
    unsigned bufferManager = 12;
    unsigned transferLength = 13;
    unsigned control;
    unsigned framePeriod;
    unsigned exposure;
    unsigned position;
    unsigned size;
    unsigned binning;          // family A only
    unsigned synchronisation;  // family A only
    unsigned identity;         // fibre-optic boards: type word and channel byte
    unsigned version;
    bool hasModule;
    unsigned moduleAddress;
    unsigned moduleData;
};

Fpga::Fpga(const CameraConfig& config) : config_(config) {
    powerUp(nullptr);
}

void Fpga::powerUp(const HardwareModel* model) {
    model_ = model;
    configuration_.clear();
    design_.reset();
    registers_ = {};
    bufferManager_ = 0;
    control_ = 0;
    typeLatched_ = false;
    queryAnswer_ = {};
    moduleRegisters_ = {};
    moduleAddress_ = 0;
    slots_.assign(model && model->slotCount > 0 ? model->slotCount : 1, CapturedFrame{});
    readyMask_ = 0;
    nextSlot_ = 0;
    softwareStart_ = false;
    framesCaptured_ = 0;
    framesLost_ = 0;
    streamRemaining_ = 0;
    selectPending_ = false;
    selectedSlot_ = 0;
}

Fpga::Layout Fpga::layout() const {
    const bool fibre = model_ && model_->fibreOptic;
    const unsigned q = fibre ? kFibreWindowOffset : 0;
    Layout l{};
    l.control = q;
    l.framePeriod = q + 1;
    l.version = q + 15;
    l.identity = fibre ? q + 13 : ~0u;
    const bool familyB = model_ && model_->family == Family::B;
    if (familyB) {
        l.exposure = q + 3;
        l.position = q + 5;
        l.size = q + 6;
        l.binning = ~0u;
        l.synchronisation = ~0u;
        l.moduleAddress = fibre ? q + 11 : q + 10;
    } else {
        l.exposure = q + 2;
        l.position = q + 4;
        l.size = q + 5;
        l.binning = q + 6;
        l.synchronisation = q + 9;
        l.moduleAddress = q + 11;
    }
    l.moduleData = l.moduleAddress + 1;
    // Without the fibre-optic offset family A's module data register would be the buffer
    // manager: those boards carry no module.
    l.hasModule = config_.moduleType != 0 && (fibre || familyB);
    return l;
}

void Fpga::resetConfiguration() {
    configuration_.clear();
    design_.reset();
    typeLatched_ = false;
}

std::string Fpga::configurationData(std::span<const std::uint8_t> bytes) {
    const auto before = announcedConfigurationSize(configuration_);
    if (design_ || (before && *before == 0) || configuration_.size() >= kConfigurationLimit) return {};
    configuration_.insert(configuration_.end(), bytes.begin(), bytes.end());
    const auto size = announcedConfigurationSize(configuration_);
    if (!size) return {};
    if (*size == 0) return "FPGA: the configuration stream is not a configuration for this camera";
    if (configuration_.size() < *size) return {};
    configuration_.resize(*size);
    const auto name = recogniseConfiguration(configuration_);
    if (!name) return "FPGA: configuration stream corrupted (CRC mismatch)";
    design_ = *name;
    const std::string expected = model_ ? std::string(model_->configurationFile) : std::string();
    if (*name == expected) return "FPGA: configured with " + *name;
    return "FPGA: " + *name + " does not fit this camera (it works with " +
           (expected.empty() ? std::string("no configuration") : expected) + ")";
}

bool Fpga::working() const {
    return design_ && model_ && !model_->configurationFile.empty() && *design_ == model_->configurationFile;
}

void Fpga::resetFifo() {
    streamRemaining_ = 0;
    selectPending_ = true;
}

void Fpga::writeRegister(std::uint8_t window, std::uint8_t offset, std::span<const std::uint8_t> bytes) {
    if (!working()) return;
    if (window == kControlWindow && (offset == kSerialQuery || offset == kFibreSerialQuery)) {
        if (bytes.size() == 1 && bytes[0] == kQueryCommand) answerQuery(offset);
        return;
    }
    if (bytes.size() < 3) return;
    const unsigned value = static_cast<unsigned>(bytes[0]) << 16 | bytes[1] << 8 | bytes[2];
    if (window != kControlWindow) {
        registers_[1][offset] = value;
        return;
    }
    const Layout l = layout();
    if (offset == l.bufferManager) {
        writeBufferManager(value);
    } else if (offset == l.transferLength) {
        registers_[0][offset] = value;
        streamFrame_ = slots_[selectedSlot_];
        streamOffset_ = 0;
        streamRemaining_ = truncateNext_ ? std::min<std::size_t>(*truncateNext_, value) : value;
        truncateNext_.reset();
    } else if (l.hasModule && offset == l.moduleAddress) {
        moduleAddress_ = value % moduleRegisters_.size();
    } else if (l.hasModule && offset == l.moduleData) {
        if (moduleAddress_ != 0) moduleRegisters_[moduleAddress_] = value;
    } else if (offset == l.control) {
        writeControl(value);
    } else {
        registers_[0][offset] = value;
    }
}

void Fpga::writeBufferManager(unsigned value) {
    const unsigned previous = bufferManager_;
    bufferManager_ = value & ~(kByteMask << kReadyShift);
    readyMask_ &= ~((value >> kReadyShift) & kByteMask);
    const bool pipelineReset = !(previous & kPipelineReset) && (value & kPipelineReset);
    const bool enabled = !(previous & kAcquisitionEnable) && (value & kAcquisitionEnable);
    if (pipelineReset || enabled) {
        readyMask_ = 0;
        nextSlot_ = 0;
    }
    if (pipelineReset) typeLatched_ = true;
    // The first write after a FIFO reset latches the slot the next transfer reads.
    if (selectPending_) {
        selectedSlot_ = static_cast<int>(((value >> kSlotShift) & kSlotMask) % slots_.size());
        selectPending_ = false;
    }
}

void Fpga::writeControl(unsigned value) {
    const unsigned previous = control_;
    control_ = value;
    registers_[0][layout().control] = value;
    if (!(previous & kControlSoftwareStart) && (value & kControlSoftwareStart)) softwareStart_ = true;
}

void Fpga::answerQuery(std::uint8_t offset) {
    const bool fibre = model_ && model_->fibreOptic;
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    if (fibre && offset == kFibreSerialQuery) {
        first = config_.serial;
        second = config_.serial2;
    } else if (fibre && offset == kSerialQuery) {
        first = config_.controllerSerial;
    } else if (!fibre && offset == kSerialQuery) {
        first = config_.serial;
        second = config_.serial2;
    }
    queryAnswer_ = {kQueryCommand,
                    offset,
                    0,
                    0,
                    static_cast<std::uint8_t>(first),
                    static_cast<std::uint8_t>(first >> 8),
                    static_cast<std::uint8_t>(second),
                    static_cast<std::uint8_t>(second >> 8)};
    queryOffset_ = offset;
}

unsigned Fpga::bufferManagerRead() const {
    return (bufferManager_ & kImageBits) | readyMask_ << kReadyShift;
}

unsigned Fpga::registerValue(std::uint8_t window, std::uint8_t offset) const {
    if (!working()) return 0;
    if (window != kControlWindow) return registers_[1][offset];
    const Layout l = layout();
    if (offset == l.bufferManager) return bufferManagerRead();
    if (offset == l.transferLength) return static_cast<unsigned>(framePayloadSize(slots_[selectedSlot_]));
    if (offset == l.identity) {
        const bool shown = !model_->probeOnly || typeLatched_;
        return shown ? (static_cast<unsigned>(config_.typeWord) << 8 | config_.channel) & kValueMask : 0;
    }
    if (offset == l.version) return config_.version & kValueMask;
    if (l.hasModule && offset == l.moduleAddress) return moduleAddress_;
    if (l.hasModule && offset == l.moduleData) {
        return moduleAddress_ == 0 ? static_cast<unsigned>(config_.moduleType) << kModuleTypeShift
                                   : moduleRegisters_[moduleAddress_];
    }
    if (offset == l.control && model_->family == Family::B) {
        return (static_cast<unsigned>(cameraTemperature_) & kTemperatureMask) << kCameraTemperatureShift |
               (static_cast<unsigned>(sensorTemperature_) & kTemperatureMask);
    }
    return registers_[0][offset];
}

void Fpga::readRegister(std::uint8_t window, std::uint8_t offset, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), 0);
    if (!working()) return;
    if (window == kControlWindow && (offset == kSerialQuery || offset == kFibreSerialQuery)) {
        if (queryOffset_ == offset) {
            std::copy_n(queryAnswer_.begin(), std::min(out.size(), kQueryAnswerSize), out.begin());
        }
        return;
    }
    const unsigned value = registerValue(window, offset);
    for (std::size_t i = 0; i < out.size() && i < 3; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * (2 - i)));
    }
}

bool Fpga::acquiring() const {
    return working() && !model_->probeOnly && (bufferManager_ & kAcquisitionEnable) &&
           (control_ & kControlAcquire);
}

Fpga::Trigger Fpga::trigger() const {
    if (model_->family == Family::B) {
        const unsigned source = (control_ >> kInputSourceShiftB) & kSlotMask;
        if (source == 0) return Trigger::Internal;
        return source == kInputSourceSoftware ? Trigger::Software : Trigger::External;
    }
    const unsigned source = (registers_[0][layout().synchronisation] >> kInputSourceShiftA) & 0xF;
    return source == 0 ? Trigger::Internal : Trigger::External;
}

std::chrono::microseconds Fpga::decodeTime(unsigned word, bool framePeriod) const {
    using std::chrono::microseconds;
    if (word == kTimeWordReference) return microseconds(0);
    const unsigned count = (word & kTimeCountMask) + (framePeriod ? 1 : 0);
    switch (word >> kTimeUnitShift) {
        case 0:
            return microseconds(static_cast<long long>((word & kTimeTicksMask) / model_->timerClockMHz));
        case 1:
            return microseconds(count);
        case 2:
            return std::chrono::milliseconds(count);
        default:
            return std::chrono::seconds(word & kTimeCountMask);
    }
}

std::chrono::microseconds Fpga::frameInterval() const {
    const Layout l = layout();
    const unsigned periodWord = registers_[0][l.framePeriod];
    const unsigned exposureWord = registers_[0][l.exposure];
    std::chrono::microseconds period(model_->defaultFramePeriodUs);
    std::chrono::microseconds exposure(model_->defaultExposureUs);
    if (model_->family == Family::A) {
        if (periodWord != 0) period = std::chrono::microseconds(periodWord);
        if (exposureWord != 0) exposure = std::chrono::microseconds(exposureWord);
    } else {
        if (periodWord != 0) period = decodeTime(periodWord, true);
        if (exposureWord != 0) exposure = decodeTime(exposureWord, false);
    }
    return std::max({period, exposure, std::chrono::microseconds(kMinimumFrameInterval)});
}

FrameGeometry Fpga::geometry() const {
    const Layout l = layout();
    FrameGeometry g;
    if (model_->family == Family::A) {
        const unsigned binning = registers_[0][l.binning];
        g.binX = ((binning >> 8) & kByteMask) + 1;
        g.binY = (binning & kByteMask) + 1;
    } else {
        g.binX = ((control_ >> kBinXShiftB) & kBinMaskB) + 1;
        g.binY = ((control_ >> kBinYShiftB) & kBinMaskB) + 1;
    }
    const unsigned position = registers_[0][l.position];
    const unsigned size = registers_[0][l.size];
    g.x = position >> 12;
    g.y = position & 0xFFF;
    const unsigned sensorWidth = size != 0 ? size >> 12 : static_cast<unsigned>(model_->defaultWidth);
    const unsigned sensorHeight = size != 0 ? size & 0xFFF : static_cast<unsigned>(model_->defaultHeight);
    g.width = std::max(1u, sensorWidth / g.binX);
    g.height = std::max(1u, sensorHeight / g.binY);
    return g;
}

bool Fpga::captureFrame(std::chrono::steady_clock::time_point now) {
    const int slot = nextSlot_;
    if (readyMask_ & (1u << slot)) {
        ++framesLost_;
        return false;
    }
    slots_[slot] = CapturedFrame{++framesCaptured_, geometry(), model_->family, now};
    readyMask_ |= 1u << slot;
    nextSlot_ = (slot + 1) % static_cast<int>(slots_.size());
    return true;
}

bool Fpga::takeSoftwareStart() {
    return std::exchange(softwareStart_, false);
}

Fpga::StreamPiece Fpga::takeStream(std::size_t maximum) {
    StreamPiece piece;
    piece.frame = streamFrame_;
    piece.offset = streamOffset_;
    piece.length = std::min(maximum, streamRemaining_);
    streamOffset_ += piece.length;
    streamRemaining_ -= piece.length;
    piece.last = streamRemaining_ == 0;
    return piece;
}

void Fpga::setTemperatures(int cameraTemperature, int sensorTemperature) {
    cameraTemperature_ = cameraTemperature;
    sensorTemperature_ = sensorTemperature;
}

unsigned Fpga::moduleRegister(int number) const {
    return number >= 0 && number < static_cast<int>(moduleRegisters_.size()) ? moduleRegisters_[number] : 0;
}

}  // namespace simulator
