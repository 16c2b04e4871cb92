#include "hardware/driver/usbdriver.h"
#include "platform/error.h"

namespace ZmCoreLib_v4 {

namespace {

std::uint16_t read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t read32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void write16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

void write32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

RequestRecord RequestRecord::decode(const std::uint8_t* bytes) {
    RequestRecord record;
    record.requestType = bytes[kRequestTypeOffset];
    record.request = bytes[kRequestOffset];
    record.value = read16(bytes + kValueOffset);
    record.index = read16(bytes + kIndexOffset);
    record.length = read16(bytes + kLengthOffset);
    record.timeoutS = read32(bytes + kTimeoutOffset);
    record.endpointAddress = bytes[kEndpointOffset];
    record.ntStatus = read32(bytes + kNtStatusOffset);
    record.usbdStatus = read32(bytes + kUsbdStatusOffset);
    record.packetInfoOffset = read32(bytes + kPacketInfoOffsetOffset);
    record.packetInfoLength = read32(bytes + kPacketInfoLengthOffset);
    record.dataOffset = read32(bytes + kDataOffsetOffset);
    record.dataLength = read32(bytes + kDataLengthOffset);
    return record;
}

void RequestRecord::encode(std::uint8_t* bytes) const {
    bytes[kRequestTypeOffset] = requestType;
    bytes[kRequestOffset] = request;
    write16(bytes + kValueOffset, value);
    write16(bytes + kIndexOffset, index);
    write16(bytes + kLengthOffset, length);
    write32(bytes + kTimeoutOffset, timeoutS);
    bytes[kReservedOffset] = 0;
    bytes[kEndpointOffset] = endpointAddress;
    write32(bytes + kNtStatusOffset, ntStatus);
    write32(bytes + kUsbdStatusOffset, usbdStatus);
    write32(bytes + kPacketInfoOffsetOffset, packetInfoOffset);
    write32(bytes + kPacketInfoLengthOffset, packetInfoLength);
    write32(bytes + kDataOffsetOffset, dataOffset);
    write32(bytes + kDataLengthOffset, dataLength);
}

void RequestRecord::writeStatus(std::uint8_t* bytes, std::uint32_t ntStatus, std::uint32_t usbdStatus) {
    write32(bytes + kNtStatusOffset, ntStatus);
    write32(bytes + kUsbdStatusOffset, usbdStatus);
}

bool Overlapped::result(std::uint32_t* bytes) const {
    const int state = state_.load(std::memory_order_acquire);
    if (state != kDone) {
        platform::setLastError(state == kPending ? kErrorIoPending : EINVAL);
        return false;
    }
    if (bytes) *bytes = bytes_;
    if (error_ != 0) {
        platform::setLastError(error_);
        return false;
    }
    return true;
}

}  // namespace ZmCoreLib_v4
