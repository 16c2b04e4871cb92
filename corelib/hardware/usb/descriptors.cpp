#include "hardware/usb/descriptors.h"

#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4::usb {

namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr unsigned kMaxPower0Exponent = 15;  // 2^15 is the largest power of two in 16 bits

std::uint16_t read16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return littleendian::get16(bytes.data() + offset);
}

// Tracks the interface being filled while walking a configuration, with how many endpoint
// descriptors it has had so far (kept or not).
struct InterfaceInProgress {
    InterfaceDescriptor* kept = nullptr;  // null when beyond kMaxInterfaces
    std::size_t endpointsSeen = 0;
    std::uint8_t endpointsAnnounced = 0;
    bool open = false;
};

bool endpointCountMatches(const InterfaceInProgress& current) {
    return !current.open || current.endpointsSeen == current.endpointsAnnounced;
}

}  // namespace

std::uint16_t DeviceDescriptor::controlMaxPacketSize() const {
    if (usbVersion < kUsb3Version) return maxPacketSize0;
    return maxPacketSize0 <= kMaxPower0Exponent ? static_cast<std::uint16_t>(1u << maxPacketSize0) : 0;
}

std::optional<DeviceDescriptor> parseDeviceDescriptor(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDeviceDescriptorSize || bytes[0] < kDeviceDescriptorSize ||
        bytes[1] != kDeviceDescriptorType)
        return std::nullopt;
    DeviceDescriptor descriptor;
    descriptor.usbVersion = read16(bytes, 2);
    descriptor.deviceClass = bytes[4];
    descriptor.deviceSubClass = bytes[5];
    descriptor.deviceProtocol = bytes[6];
    descriptor.maxPacketSize0 = bytes[7];
    descriptor.vendorId = read16(bytes, 8);
    descriptor.productId = read16(bytes, 10);
    descriptor.deviceRelease = read16(bytes, 12);
    descriptor.manufacturerIndex = bytes[14];
    descriptor.productIndex = bytes[15];
    descriptor.serialNumberIndex = bytes[16];
    descriptor.configurationCount = bytes[17];
    return descriptor;
}

std::optional<std::uint16_t> configurationTotalLength(std::span<const std::uint8_t> head) {
    if (head.size() < kConfigurationHeadSize || head[0] < kConfigurationHeadSize ||
        head[1] != kConfigurationDescriptorType)
        return std::nullopt;
    const std::uint16_t total = read16(head, 2);
    if (total < kConfigurationHeadSize) return std::nullopt;
    return total;
}

std::optional<ConfigurationDescriptor> parseConfiguration(std::span<const std::uint8_t> bytes) {
    const auto total = configurationTotalLength(bytes);
    if (!total || bytes.size() < *total) return std::nullopt;
    const auto all = bytes.first(*total);

    ConfigurationDescriptor configuration;
    configuration.totalLength = *total;
    configuration.interfaceCount = all[4];
    configuration.value = all[5];
    configuration.nameIndex = all[6];
    configuration.attributes = all[7];
    configuration.maxPower = all[8];
    // Interfaces are appended while walking; reserve so the pointer in `current` stays valid.
    configuration.interfaces.reserve(kMaxInterfaces);

    InterfaceInProgress current;
    EndpointDescriptor* lastEndpoint = nullptr;
    for (std::size_t pos = all[0]; pos < all.size();) {
        if (all.size() - pos < 2) return std::nullopt;
        const std::uint8_t length = all[pos];
        const std::uint8_t type = all[pos + 1];
        if (length < 2 || length > all.size() - pos) return std::nullopt;
        const auto descriptor = all.subspan(pos, length);
        pos += length;

        if (type == kInterfaceDescriptorType) {
            if (length < kInterfaceDescriptorSize || !endpointCountMatches(current)) return std::nullopt;
            current = InterfaceInProgress{nullptr, 0, descriptor[4], true};
            lastEndpoint = nullptr;
            if (configuration.interfaces.size() == kMaxInterfaces) continue;
            InterfaceDescriptor& interface = configuration.interfaces.emplace_back();
            interface.number = descriptor[2];
            interface.alternateSetting = descriptor[3];
            interface.endpointCount = descriptor[4];
            interface.interfaceClass = descriptor[5];
            interface.interfaceSubClass = descriptor[6];
            interface.interfaceProtocol = descriptor[7];
            interface.nameIndex = descriptor[8];
            current.kept = &interface;
        } else if (type == kEndpointDescriptorType) {
            if (length < kEndpointDescriptorSize || !current.open) return std::nullopt;
            ++current.endpointsSeen;
            lastEndpoint = nullptr;
            if (!current.kept || current.kept->endpoints.size() == kMaxEndpoints) continue;
            EndpointDescriptor& endpoint = current.kept->endpoints.emplace_back();
            endpoint.length = length;
            endpoint.type = type;
            endpoint.address = descriptor[2];
            endpoint.attributes = descriptor[3];
            endpoint.maxPacketSize = read16(descriptor, 4);
            endpoint.interval = descriptor[6];
            lastEndpoint = &endpoint;
        } else if (type == kSuperSpeedCompanionType) {
            if (length < kCompanionDescriptorSize) return std::nullopt;
            if (lastEndpoint)
                lastEndpoint->companion =
                    SuperSpeedCompanion{descriptor[2], descriptor[3], read16(descriptor, 4)};
        }
        // Class-specific and other descriptors are skipped.
    }
    if (!endpointCountMatches(current)) return std::nullopt;
    return configuration;
}

std::optional<std::uint16_t> announcedLength(std::span<const std::uint8_t> head, std::uint8_t type) {
    if (type == kBosDescriptorType) {
        if (head.size() < kBosHeadSize || head[0] < kBosHeadSize || head[1] != type) return std::nullopt;
        return read16(head, 2);
    }
    if (head.size() < kStringHeadSize || head[1] != type) return std::nullopt;
    return head[0];
}

std::u16string parseStringDescriptor(std::span<const std::uint8_t> bytes) {
    if (bytes.size() <= kStringHeadSize || bytes[1] != kStringDescriptorType || bytes[0] <= kStringHeadSize ||
        bytes[0] > bytes.size())
        return {};
    std::u16string text;
    for (std::size_t pos = kStringHeadSize; pos + 1 < bytes[0]; pos += 2)
        text.push_back(static_cast<char16_t>(read16(bytes, pos)));
    return text;
}

std::vector<std::uint16_t> parseLanguageIds(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint16_t> ids;
    if (bytes.size() < kStringHeadSize || bytes[1] != kStringDescriptorType || bytes[0] > bytes.size())
        return ids;
    for (std::size_t pos = kStringHeadSize; pos + 1 < bytes[0]; pos += 2) ids.push_back(read16(bytes, pos));
    return ids;
}

std::uint16_t chooseLanguageId(const std::vector<std::uint16_t>& languageIds) {
    for (std::uint16_t id : languageIds)
        if (id == kUsEnglish) return id;
    return languageIds.empty() ? 0 : languageIds.front();
}

std::optional<BosDescriptor> parseBos(std::span<const std::uint8_t> bytes) {
    const auto total = announcedLength(bytes, kBosDescriptorType);
    if (!total || *total < bytes[0] || bytes.size() < *total) return std::nullopt;
    const auto all = bytes.first(*total);
    const std::uint8_t capabilityCount = all[4];

    BosDescriptor bos;
    bos.totalLength = *total;
    for (std::size_t pos = all[0]; pos < all.size();) {
        if (all.size() - pos < kCapabilityHeadSize) return std::nullopt;
        const std::uint8_t length = all[pos];
        if (length < kCapabilityHeadSize || length > all.size() - pos ||
            all[pos + 1] != kDeviceCapabilityType)
            return std::nullopt;
        const auto capability = all.subspan(pos, length);
        bos.capabilities.push_back(
            {capability[2], {capability.begin() + kCapabilityHeadSize, capability.end()}});
        pos += length;
    }
    if (bos.capabilities.size() != capabilityCount) return std::nullopt;
    return bos;
}

std::uint32_t effectiveMaxPacketSize(const EndpointDescriptor& endpoint, bool usb3) {
    constexpr std::uint16_t kSizeMask = 0x07FF;
    constexpr unsigned kMultiplierShift = 11;
    constexpr std::uint16_t kMultiplierMask = 0x03;
    constexpr std::uint8_t kIsocMultiplierMask = 0x03;

    std::uint32_t size = (endpoint.maxPacketSize & kSizeMask) *
                         (((endpoint.maxPacketSize >> kMultiplierShift) & kMultiplierMask) + 1u);
    if (usb3 && endpoint.companion) {
        size *= endpoint.companion->maxBurst + 1u;
        if (endpoint.transferType() == TransferType::Isochronous)
            size *= (endpoint.companion->attributes & kIsocMultiplierMask) + 1u;
    }
    return size;
}

}  // namespace ZmCoreLib_v4::usb
