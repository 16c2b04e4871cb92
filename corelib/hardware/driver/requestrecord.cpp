#include "hardware/driver/usbdriver.h"
#include "platform/error.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {}  // namespace

RequestRecord RequestRecord::decode(const std::uint8_t* bytes) {
    RequestRecord record;
    record.requestType = bytes[kRequestTypeOffset];
    record.request = bytes[kRequestOffset];
    record.value = littleendian::get16(bytes + kValueOffset);
    record.index = littleendian::get16(bytes + kIndexOffset);
    record.length = littleendian::get16(bytes + kLengthOffset);
    record.timeoutS = littleendian::get32(bytes + kTimeoutOffset);
    record.endpointAddress = bytes[kEndpointOffset];
    record.ntStatus = littleendian::get32(bytes + kNtStatusOffset);
    record.usbdStatus = littleendian::get32(bytes + kUsbdStatusOffset);
    record.packetInfoOffset = littleendian::get32(bytes + kPacketInfoOffsetOffset);
    record.packetInfoLength = littleendian::get32(bytes + kPacketInfoLengthOffset);
    record.dataOffset = littleendian::get32(bytes + kDataOffsetOffset);
    record.dataLength = littleendian::get32(bytes + kDataLengthOffset);
    return record;
}

void RequestRecord::encode(std::uint8_t* bytes) const {
    bytes[kRequestTypeOffset] = requestType;
    bytes[kRequestOffset] = request;
    littleendian::put16(bytes + kValueOffset, value);
    littleendian::put16(bytes + kIndexOffset, index);
    littleendian::put16(bytes + kLengthOffset, length);
    littleendian::put32(bytes + kTimeoutOffset, timeoutS);
    bytes[kReservedOffset] = 0;
    bytes[kEndpointOffset] = endpointAddress;
    littleendian::put32(bytes + kNtStatusOffset, ntStatus);
    littleendian::put32(bytes + kUsbdStatusOffset, usbdStatus);
    littleendian::put32(bytes + kPacketInfoOffsetOffset, packetInfoOffset);
    littleendian::put32(bytes + kPacketInfoLengthOffset, packetInfoLength);
    littleendian::put32(bytes + kDataOffsetOffset, dataOffset);
    littleendian::put32(bytes + kDataLengthOffset, dataLength);
}

void RequestRecord::writeStatus(std::uint8_t* bytes, std::uint32_t ntStatus, std::uint32_t usbdStatus) {
    littleendian::put32(bytes + kNtStatusOffset, ntStatus);
    littleendian::put32(bytes + kUsbdStatusOffset, usbdStatus);
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
