// Parsing of the standard USB descriptors a device sends. The bytes come from the device and are
// untrusted: every parser checks lengths against the bytes actually received and reports a
// malformed descriptor instead of reading past them. Pure functions, usable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ZmCoreLib_v4::usb {

// Descriptor type codes.
inline constexpr std::uint8_t kDeviceDescriptorType = 1;
inline constexpr std::uint8_t kConfigurationDescriptorType = 2;
inline constexpr std::uint8_t kStringDescriptorType = 3;
inline constexpr std::uint8_t kInterfaceDescriptorType = 4;
inline constexpr std::uint8_t kEndpointDescriptorType = 5;
inline constexpr std::uint8_t kBosDescriptorType = 0x0F;
inline constexpr std::uint8_t kDeviceCapabilityType = 0x10;
inline constexpr std::uint8_t kSuperSpeedCompanionType = 0x30;

inline constexpr std::size_t kDeviceDescriptorSize = 18;
inline constexpr std::size_t kConfigurationHeadSize = 9;
inline constexpr std::size_t kInterfaceDescriptorSize = 9;
inline constexpr std::size_t kEndpointDescriptorSize = 7;
inline constexpr std::size_t kCompanionDescriptorSize = 6;
inline constexpr std::size_t kStringHeadSize = 2;
inline constexpr std::size_t kBosHeadSize = 5;
inline constexpr std::size_t kCapabilityHeadSize = 3;

// How many configurations, interfaces per configuration and endpoints per interface are kept;
// the rest of a larger descriptor set is ignored.
inline constexpr std::size_t kMaxConfigurations = 2;
inline constexpr std::size_t kMaxInterfaces = 8;
inline constexpr std::size_t kMaxEndpoints = 32;

// bcdUSB from which a device is a USB 3.x device.
inline constexpr std::uint16_t kUsb3Version = 0x0300;

enum class TransferType : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct DeviceDescriptor {
    std::uint16_t usbVersion = 0;  // bcdUSB
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t maxPacketSize0 = 0;  // as sent; see controlMaxPacketSize()
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t deviceRelease = 0;  // bcdDevice
    std::uint8_t manufacturerIndex = 0;
    std::uint8_t productIndex = 0;
    std::uint8_t serialNumberIndex = 0;
    std::uint8_t configurationCount = 0;

    // Endpoint 0's maximum packet size: the sent value, or 2 to that power for a USB 3.x device
    // (0 when the power would not fit 16 bits).
    std::uint16_t controlMaxPacketSize() const;
};

struct SuperSpeedCompanion {
    std::uint8_t maxBurst = 0;
    std::uint8_t attributes = 0;
    std::uint16_t bytesPerInterval = 0;
};

struct EndpointDescriptor {
    std::uint8_t length = kEndpointDescriptorSize;
    std::uint8_t type = kEndpointDescriptorType;
    std::uint8_t address = 0;  // bit 7 set for IN
    std::uint8_t attributes = 0;
    std::uint16_t maxPacketSize = 0;  // wMaxPacketSize as sent
    std::uint8_t interval = 0;
    std::optional<SuperSpeedCompanion> companion;

    TransferType transferType() const { return static_cast<TransferType>(attributes & 0x03); }
    bool isIn() const { return (address & 0x80) != 0; }
};

struct InterfaceDescriptor {
    std::uint8_t number = 0;
    std::uint8_t alternateSetting = 0;
    std::uint8_t endpointCount = 0;  // bNumEndpoints as sent
    std::uint8_t interfaceClass = 0;
    std::uint8_t interfaceSubClass = 0;
    std::uint8_t interfaceProtocol = 0;
    std::uint8_t nameIndex = 0;
    std::vector<EndpointDescriptor> endpoints;  // at most kMaxEndpoints
};

struct ConfigurationDescriptor {
    std::uint16_t totalLength = 0;
    std::uint8_t interfaceCount = 0;  // bNumInterfaces as sent
    std::uint8_t value = 0;
    std::uint8_t nameIndex = 0;
    std::uint8_t attributes = 0;
    std::uint8_t maxPower = 0;
    std::vector<InterfaceDescriptor> interfaces;  // one per interface descriptor (alternate
                                                  // settings apart), at most kMaxInterfaces
};

struct BosCapability {
    std::uint8_t capabilityType = 0;
    std::vector<std::uint8_t> data;  // the bytes after the 3-byte head
};

struct BosDescriptor {
    std::uint16_t totalLength = 0;
    std::vector<BosCapability> capabilities;
};

// The 18-byte device descriptor; nullopt when fewer bytes came, the length or type is wrong.
std::optional<DeviceDescriptor> parseDeviceDescriptor(std::span<const std::uint8_t> bytes);

// The total length announced by a configuration descriptor's 9-byte head; nullopt when the head
// is malformed or announces less than itself.
std::optional<std::uint16_t> configurationTotalLength(std::span<const std::uint8_t> head);

// A whole configuration descriptor set. Malformed (nullopt) when a descriptor is shorter than its
// kind needs, runs past the bytes or the announced total, an endpoint comes before any interface,
// or an interface's endpoint descriptors do not match its bNumEndpoints.
std::optional<ConfigurationDescriptor> parseConfiguration(std::span<const std::uint8_t> bytes);

// The length a string or BOS descriptor announces in its head; nullopt when the head is too short
// or has another type.
std::optional<std::uint16_t> announcedLength(std::span<const std::uint8_t> head, std::uint8_t type);

// The UTF-16 text of a string descriptor; empty when it is not longer than its head, is not of
// the string type, or claims more bytes than came. A trailing odd byte is ignored.
std::u16string parseStringDescriptor(std::span<const std::uint8_t> bytes);

// The language ids listed by string descriptor 0 (empty when malformed).
std::vector<std::uint16_t> parseLanguageIds(std::span<const std::uint8_t> bytes);

// The language to read strings in: US English when listed, else the first listed, else 0.
std::uint16_t chooseLanguageId(const std::vector<std::uint16_t>& languageIds);

// A BOS descriptor with its device capabilities; nullopt when malformed (lengths inconsistent,
// a capability shorter than its head or of another type, a count that does not match).
std::optional<BosDescriptor> parseBos(std::span<const std::uint8_t> bytes);

// The endpoint's maximum packet size in bytes per service interval: wMaxPacketSize bits 0-10
// times (bits 11-12 + 1); on a USB 3 device with a companion also times (burst + 1) and, for
// isochronous endpoints, times (companion attribute bits 0-1 + 1).
std::uint32_t effectiveMaxPacketSize(const EndpointDescriptor& endpoint, bool usb3);

}  // namespace ZmCoreLib_v4::usb
