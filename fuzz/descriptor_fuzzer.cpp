// Feeds arbitrary bytes, as a misbehaving or hostile device might send them, to every descriptor
// parser. The parsers must never read outside the bytes they are given.
#include <cstddef>
#include <cstdint>
#include <span>

#include "hardware/usb/descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ZmCoreLib_v4::usb;
    const std::span<const std::uint8_t> bytes(data, size);

    if (const auto device = parseDeviceDescriptor(bytes)) (void)device->controlMaxPacketSize();
    (void)configurationTotalLength(bytes);
    if (const auto configuration = parseConfiguration(bytes))
        for (const InterfaceDescriptor& interface : configuration->interfaces)
            for (const EndpointDescriptor& endpoint : interface.endpoints) {
                (void)effectiveMaxPacketSize(endpoint, false);
                (void)effectiveMaxPacketSize(endpoint, true);
            }
    (void)announcedLength(bytes, kStringDescriptorType);
    (void)announcedLength(bytes, kBosDescriptorType);
    (void)parseStringDescriptor(bytes);
    (void)chooseLanguageId(parseLanguageIds(bytes));
    (void)parseBos(bytes);
    return 0;
}
