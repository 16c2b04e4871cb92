#include "fx2controller.h"

#include <algorithm>

#include "zmbyteorder/littleendian.h"

namespace simulator {

namespace {

// Boot product ids of the cameras' controllers before firmware is loaded.
constexpr std::uint16_t kBootIdentities[] = {0x0200, 0x2011, 0x2031, 0x2111, 0x2115, 0x2119, 0x211D,
                                             0x2121, 0x2125, 0x2129, 0x212D, 0x212F, 0x2131, 0x2135,
                                             0x2139, 0x213D, 0x2201, 0x2221, 0x2311, 0x6100};

constexpr std::uint8_t kDescriptorTypeDevice = 1;
constexpr std::uint8_t kDescriptorTypeConfiguration = 2;
constexpr std::uint8_t kDescriptorTypeString = 3;
constexpr std::size_t kDeviceDescriptorSize = 18;
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
constexpr std::uint8_t kManufacturerString = 1;
constexpr std::uint8_t kProductString = 2;
constexpr std::uint8_t kSerialString = 3;

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), kDescriptorTypeString};
    for (char c : text) littleendian::append16(bytes, static_cast<std::uint8_t>(c));
    return bytes;
}

// One configuration with one interface: the image stream on EP6 IN and a command pipe on EP2 OUT.
std::vector<std::uint8_t> configurationDescriptor() {
    std::vector<std::uint8_t> bytes{9, kDescriptorTypeConfiguration, 0, 0, 1, 1, 0, 0x80, 50};
    const std::vector<std::uint8_t> interface { 9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0 };
    bytes.insert(bytes.end(), interface.begin(), interface.end());
    for (std::uint8_t endpoint : {kCommandEndpoint, kImageEndpoint}) {
        bytes.insert(bytes.end(), {7, 5, endpoint, 2});
        littleendian::append16(bytes, kBulkPacketSize);
        bytes.push_back(0);
    }
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    return bytes;
}

}  // namespace

bool isBootIdentity(std::uint16_t productId) {
    return std::find(std::begin(kBootIdentities), std::end(kBootIdentities), productId) !=
           std::end(kBootIdentities);
}

Fx2Controller::Fx2Controller(const CameraConfig& config)
    : firmwareRunning_(!isBootIdentity(config.bootProductId)),
      identity_{config.vendorId, config.bootProductId, 0},
      serialText_(std::to_string(config.serial)) {}

Fx2Controller::MemoryWriteEffect Fx2Controller::writeMemory(std::uint16_t address,
                                                            std::span<const std::uint8_t> bytes) {
    if (address == kCpuControlAddress && bytes.size() == 1) {
        const bool wasHeld = cpuHeld_;
        cpuHeld_ = (bytes[0] & kCpuHold) != 0;
        if (!wasHeld || cpuHeld_) return MemoryWriteEffect::None;
        // The released CPU runs the image: our firmware announces the descriptor it carries.
        const std::uint8_t* descriptor = programMemory_.data() + kFirmwareDescriptorAddress;
        if (descriptor[0] != kDeviceDescriptorSize || descriptor[1] != kDescriptorTypeDevice) {
            firmwareRunning_ = false;
            return MemoryWriteEffect::FirmwareCrashed;
        }
        firmwareRunning_ = true;
        identity_ = {littleendian::get16(&descriptor[8]), littleendian::get16(&descriptor[10]),
                     littleendian::get16(&descriptor[12])};
        return MemoryWriteEffect::FirmwareStarted;
    }
    for (std::size_t i = 0; i < bytes.size() && address + i < kProgramMemorySize; ++i) {
        programMemory_[address + i] = bytes[i];
    }
    return MemoryWriteEffect::None;
}

void Fx2Controller::readMemory(std::uint16_t address, std::span<std::uint8_t> bytes) const {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = address + i < kProgramMemorySize ? programMemory_[address + i] : 0;
    }
}

std::optional<std::vector<std::uint8_t>> Fx2Controller::descriptor(std::uint16_t value,
                                                                   std::uint16_t languageId) const {
    const auto type = static_cast<std::uint8_t>(value >> 8);
    const auto index = static_cast<std::uint8_t>(value);
    const bool withStrings = firmwareRunning();
    switch (type) {
        case kDescriptorTypeDevice: {
            std::vector<std::uint8_t> bytes{
                kDeviceDescriptorSize, kDescriptorTypeDevice, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64};
            littleendian::append16(bytes, identity_.vendorId);
            littleendian::append16(bytes, identity_.productId);
            littleendian::append16(bytes, identity_.release);
            bytes.push_back(withStrings ? kManufacturerString : 0);
            bytes.push_back(withStrings ? kProductString : 0);
            bytes.push_back(withStrings ? kSerialString : 0);
            bytes.push_back(1);
            return bytes;
        }
        case kDescriptorTypeConfiguration:
            if (index != 0) return std::nullopt;
            return configurationDescriptor();
        case kDescriptorTypeString:
            if (index == 0) {
                std::vector<std::uint8_t> bytes{4, kDescriptorTypeString};
                littleendian::append16(bytes, kLanguageEnglishUs);
                return bytes;
            }
            if (!withStrings || languageId != kLanguageEnglishUs) return std::nullopt;
            if (index == kManufacturerString) return stringDescriptor("Zenmira");
            if (index == kProductString) return stringDescriptor("Zenmira USB 2.0 Camera");
            if (index == kSerialString) return stringDescriptor(serialText_);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace simulator
