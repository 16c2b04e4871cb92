// The USB-level vocabulary between a simulated camera and the driver that carries requests to it.
#pragma once

#include <cstdint>

namespace simulator {

// The eight bytes that open every control transfer.
struct SetupPacket {
    std::uint8_t requestType = 0;  // bit 7 direction (1: device to host), bits 6-5 type, 4-0 target
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    bool isIn() const { return (requestType & kDirectionIn) != 0; }
    int type() const { return (requestType >> 5) & 3; }

    static constexpr std::uint8_t kDirectionIn = 0x80;
    static constexpr int kTypeStandard = 0;
    static constexpr int kTypeVendor = 2;
};

// How a transfer ended, as the bus reports it.
enum class TransferStatus {
    Ok,
    Stall,      // the endpoint refused the request (a halted bulk endpoint stays so until cleared)
    Cancelled,  // aborted by the host before it finished
    NoDevice,   // the device left the bus (re-attachment, unplug) or the handle is stale
};

// The camera's one bulk IN endpoint (EP6 IN) that carries the image stream.
inline constexpr std::uint8_t kImageEndpoint = 0x86;
// The bulk OUT endpoint the descriptors offer beside it (EP2 OUT); nothing uses it.
inline constexpr std::uint8_t kCommandEndpoint = 0x02;
inline constexpr std::uint16_t kBulkPacketSize = 512;

}  // namespace simulator
