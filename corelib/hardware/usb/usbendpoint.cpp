#include "hardware/usb/usbendpoint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/error.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kMaxPacketMultiplierShift = 11;
constexpr std::uint8_t kMaxPacketMultiplierMask = 0x03;
constexpr std::uint32_t kMsPerSecond = 1000;
// After an expired transfer is aborted, how long it may take to come back before it is aborted
// a second time, and how long after that.
constexpr std::uint32_t kAbortGraceMs = 50;
constexpr std::uint32_t kAbortFinalWaitMs = 5000;
// Size of the transfer-size requests: endpoint address, then the size.
constexpr std::uint32_t kTransferSizeRequestSize = 5;

// The state of a synchronous transfer. It lives on the heap so that a transfer a faulty driver
// never completes can be abandoned without the driver writing into freed memory.
struct SyncTransfer {
    platform::Event event{platform::ResetMode::Auto};
    Overlapped overlapped{&event};
    TransferRequestPtr request;
};

}  // namespace

CCyUSBEndPoint::CCyUSBEndPoint(UsbDriverHandle* handle, const usb::EndpointDescriptor& descriptor, bool usb3)
    : handle_(handle),
      in_(descriptor.isIn()),
      descriptorLength_(descriptor.length),
      descriptorType_(descriptor.type),
      address_(descriptor.address),
      attributes_(descriptor.attributes),
      maxPacketSize_(usb::effectiveMaxPacketSize(descriptor, usb3)),
      multiplier_(static_cast<std::uint8_t>(
          ((descriptor.maxPacketSize >> kMaxPacketMultiplierShift) & kMaxPacketMultiplierMask) + 1)),
      interval_(descriptor.interval) {
    if (descriptor.companion) {
        maxBurst_ = descriptor.companion->maxBurst;
        companionAttributes_ = descriptor.companion->attributes;
        bytesPerInterval_ = descriptor.companion->bytesPerInterval;
    }
}

void CCyUSBEndPoint::recordError() {
    lastError_ = platform::lastError();
}

TransferRequestPtr CCyUSBEndPoint::newRequest(std::uint32_t areaLength) const {
    auto request = std::make_unique<TransferRequest>();
    request->bytes.assign(RequestRecord::kSize + areaLength, 0);
    RequestRecord record;
    record.endpointAddress = address_;
    record.encode(request->bytes.data());
    return request;
}

TransferRequestPtr CCyUSBEndPoint::issue(std::uint32_t code, TransferRequestPtr request, std::uint8_t* out,
                                         std::uint32_t outLength, Overlapped* overlapped) {
    std::uint32_t returned = 0;
    const bool done =
        handle_->ioControl(code, request->bytes.data(), static_cast<std::uint32_t>(request->bytes.size()),
                           out, outLength, &returned, overlapped);
    lastError_ = done ? 0 : platform::lastError();
    if (!done && lastError_ != kErrorIoPending) return nullptr;  // refused: nothing is in flight
    return request;
}

TransferRequestPtr CCyUSBEndPoint::BeginDirect(std::uint8_t* buffer, std::uint32_t length,
                                               Overlapped* overlapped) {
    if (!handle_) {
        platform::setLastError(lastError_ = EBADF);
        return nullptr;
    }
    return issue(ioctl::kDirectTransfer, newRequest(0), buffer, length, overlapped);
}

TransferRequestPtr CCyUSBEndPoint::BeginBuffered(std::uint8_t* buffer, std::uint32_t length,
                                                 Overlapped* overlapped) {
    if (!handle_) {
        platform::setLastError(lastError_ = EBADF);
        return nullptr;
    }
    auto request = newRequest(length);
    RequestRecord record = RequestRecord::decode(request->bytes.data());
    record.dataOffset = RequestRecord::kSize;
    record.dataLength = length;
    record.encode(request->bytes.data());
    if (length > 0 && buffer) std::memcpy(request->bytes.data() + RequestRecord::kSize, buffer, length);
    std::uint8_t* data = request->bytes.data();
    const auto size = static_cast<std::uint32_t>(request->bytes.size());
    return issue(ioctl::kBufferedTransfer, std::move(request), data, size, overlapped);
}

TransferRequestPtr CCyUSBEndPoint::beginDataTransfer(std::uint8_t* buffer, std::uint32_t length,
                                                     Overlapped* overlapped) {
    return direct_ ? BeginDirect(buffer, length, overlapped) : BeginBuffered(buffer, length, overlapped);
}

bool CCyUSBEndPoint::FinishTransfer(std::uint8_t* buffer, std::uint32_t& length, Overlapped* overlapped,
                                    TransferRequestPtr& request, std::uint8_t* packetInfo) {
    if (!request || !overlapped) {
        platform::setLastError(lastError_ = EINVAL);
        bytesTransferred_ = length = 0;
        return false;
    }
    std::uint32_t reported = 0;
    const bool succeeded = overlapped->result(&reported);
    if (!succeeded) {
        recordError();
        if (lastError_ == kErrorIoPending) {
            bytesTransferred_ = length = 0;
            return false;  // the driver still owns the request and the buffer
        }
    }
    const std::vector<std::uint8_t>& bytes = request->bytes;
    const RequestRecord record = RequestRecord::decode(bytes.data());
    ntStatus_ = record.ntStatus;
    usbdStatus_ = record.usbdStatus;

    std::uint32_t transferred = reported > record.dataOffset ? reported - record.dataOffset : 0;
    transferred = std::min(transferred, length);
    if (in_ && !direct_ && buffer) {
        const std::size_t available = bytes.size() > record.dataOffset ? bytes.size() - record.dataOffset : 0;
        transferred = static_cast<std::uint32_t>(std::min<std::size_t>(transferred, available));
        std::memcpy(buffer, bytes.data() + record.dataOffset, transferred);
    }
    if (packetInfo && record.packetInfoLength > 0 && transferred > 0 &&
        record.packetInfoOffset + std::size_t{record.packetInfoLength} <= bytes.size())
        std::memcpy(packetInfo, bytes.data() + record.packetInfoOffset, record.packetInfoLength);

    bytesTransferred_ = length = transferred;
    request.reset();
    return succeeded && ntStatus_ == 0 && usbdStatus_ == 0;
}

bool CCyUSBEndPoint::WaitForTransfer(Overlapped* overlapped, std::uint32_t timeoutMs) {
    if (!overlapped || !overlapped->event()) return false;
    // The event may still be set from an earlier request of the same Overlapped, so the
    // request's own state decides, and the wait resumes until the deadline.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (overlapped->isPending()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return !overlapped->isPending();
        if (overlapped->event()->wait(static_cast<std::uint32_t>(left.count())) !=
            platform::WaitResult::Signalled)
            return !overlapped->isPending();
    }
    return true;
}

bool CCyUSBEndPoint::TransferData(std::uint8_t* buffer, std::uint32_t& length) {
    auto transfer = std::make_unique<SyncTransfer>();
    transfer->request = BeginTransfer(buffer, length, &transfer->overlapped);
    if (!transfer->request) {
        bytesTransferred_ = length = 0;
        return false;
    }
    bool waited = WaitForTransfer(&transfer->overlapped, timeoutMs_);
    if (!waited) {
        Abort();
        if (!WaitForTransfer(&transfer->overlapped, kAbortGraceMs)) {
            Abort();
            WaitForTransfer(&transfer->overlapped, kAbortFinalWaitMs);
        }
    }
    const bool finished = FinishTransfer(buffer, length, &transfer->overlapped, transfer->request);
    if (transfer->request) {
        // The driver broke its promise to complete aborted requests. Its late completion must
        // find the request and the Overlapped alive, so they are left to it.
        std::fputs("USB transfer could not be cancelled; its request is abandoned\n", stderr);
        transfer.release();
        platform::setLastError(lastError_ = ETIMEDOUT);
        return false;
    }
    if (!waited) platform::setLastError(lastError_ = ETIMEDOUT);
    return waited && finished;
}

void CCyUSBEndPoint::SetTransferSize(std::uint32_t bytes) {
    if (!handle_ || maxPacketSize_ == 0) return;
    const std::uint64_t rounded =
        (std::uint64_t{bytes} + maxPacketSize_ - 1) / maxPacketSize_ * maxPacketSize_;
    std::uint8_t request[kTransferSizeRequestSize] = {address_};
    littleendian::put32(request + 1,
                        static_cast<std::uint32_t>(std::min<std::uint64_t>(rounded, UINT32_MAX)));
    std::uint32_t returned = 0;
    if (!handle_->ioControl(ioctl::kSetTransferSize, request, sizeof request, request, sizeof request,
                            &returned, nullptr))
        recordError();
}

std::uint32_t CCyUSBEndPoint::GetTransferSize() {
    if (!handle_) return 0;
    std::uint8_t request[kTransferSizeRequestSize] = {address_};
    std::uint32_t returned = 0;
    if (!handle_->ioControl(ioctl::kGetTransferSize, request, sizeof request, request, sizeof request,
                            &returned, nullptr)) {
        recordError();
        return 0;
    }
    return returned >= kTransferSizeRequestSize ? littleendian::get32(request + 1) : 0;
}

bool CCyUSBEndPoint::sendAddressRequest(std::uint32_t code) {
    if (!handle_) {
        platform::setLastError(lastError_ = EBADF);
        return false;
    }
    std::uint8_t address = address_;
    std::uint32_t returned = 0;
    if (handle_->ioControl(code, &address, 1, nullptr, 0, &returned, nullptr)) return true;
    recordError();
    return false;
}

bool CCyUSBEndPoint::Abort() {
    sendAddressRequest(ioctl::kAbortPipe);
    return true;
}

bool CCyUSBEndPoint::ResetPipe() {
    return sendAddressRequest(ioctl::kResetPipe);
}

// Control endpoint.

CCyControlEndPoint::CCyControlEndPoint(UsbDriverHandle* handle, std::uint16_t maxPacketSize)
    : CCyUSBEndPoint(handle,
                     usb::EndpointDescriptor{usb::kEndpointDescriptorSize, usb::kEndpointDescriptorType, 0, 0,
                                             maxPacketSize, 0, std::nullopt},
                     false) {
    direct_ = false;
}

std::uint32_t CCyControlEndPoint::timeoutSeconds(std::uint32_t timeoutMs) {
    if (timeoutMs > 0 && timeoutMs < kMsPerSecond) return 1;
    return timeoutMs / kMsPerSecond;
}

TransferRequestPtr CCyControlEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                                     Overlapped* overlapped) {
    if (!handle_) {
        platform::setLastError(EBADF);
        return nullptr;
    }
    in_ = direction == kDirectionFromDevice;
    // wLength is 16 bits wide; a longer control transfer cannot be expressed.
    if (length > UINT16_MAX) {
        platform::setLastError(EINVAL);
        return nullptr;
    }
    auto request = newRequest(length);
    RequestRecord record;
    record.requestType =
        static_cast<std::uint8_t>(direction << 7 | requestType << kRequestTypeShift | target);
    record.request = requestCode;
    record.value = value;
    record.index = index;
    record.length = static_cast<std::uint16_t>(length);
    record.timeoutS = timeoutSeconds(timeoutMs());
    record.dataOffset = RequestRecord::kSize;
    record.dataLength = length;
    record.encode(request->bytes.data());
    if (length > 0 && buffer) std::memcpy(request->bytes.data() + RequestRecord::kSize, buffer, length);
    std::uint8_t* data = request->bytes.data();
    const auto size = static_cast<std::uint32_t>(request->bytes.size());
    return issue(ioctl::kControlTransfer, std::move(request), data, size, overlapped);
}

bool CCyControlEndPoint::Read(std::uint8_t* buffer, std::uint32_t& length) {
    direction = kDirectionFromDevice;
    return TransferData(buffer, length);
}

bool CCyControlEndPoint::Write(const std::uint8_t* buffer, std::uint32_t& length) {
    direction = kDirectionToDevice;
    // An OUT control transfer only copies the buffer into its request.
    return TransferData(const_cast<std::uint8_t*>(buffer), length);
}

// Data endpoints.

TransferRequestPtr CCyBulkEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                                  Overlapped* overlapped) {
    return beginDataTransfer(buffer, length, overlapped);
}

TransferRequestPtr CCyInterruptEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                                       Overlapped* overlapped) {
    return beginDataTransfer(buffer, length, overlapped);
}

std::uint32_t CCyIsocEndPoint::packetInfoLength(std::uint32_t dataLength) const {
    if (maxPacketSize() == 0) return 0;
    return (dataLength + maxPacketSize() - 1) / maxPacketSize() * kIsoPacketInfoSize;
}

TransferRequestPtr CCyIsocEndPoint::BeginDirect(std::uint8_t* buffer, std::uint32_t length,
                                                Overlapped* overlapped) {
    if (!handle_) {
        platform::setLastError(EBADF);
        return nullptr;
    }
    const std::uint32_t infoLength = packetInfoLength(length);
    auto request = newRequest(infoLength);
    RequestRecord record = RequestRecord::decode(request->bytes.data());
    record.packetInfoOffset = RequestRecord::kSize;
    record.packetInfoLength = infoLength;
    record.encode(request->bytes.data());
    return issue(ioctl::kDirectTransfer, std::move(request), buffer, length, overlapped);
}

TransferRequestPtr CCyIsocEndPoint::BeginBuffered(std::uint8_t* buffer, std::uint32_t length,
                                                  Overlapped* overlapped) {
    if (!handle_) {
        platform::setLastError(EBADF);
        return nullptr;
    }
    const std::uint32_t infoLength = packetInfoLength(length);
    auto request = newRequest(infoLength + length);
    RequestRecord record = RequestRecord::decode(request->bytes.data());
    record.packetInfoOffset = RequestRecord::kSize;
    record.packetInfoLength = infoLength;
    record.dataOffset = RequestRecord::kSize + infoLength;
    record.dataLength = length;
    record.encode(request->bytes.data());
    if (length > 0 && buffer) std::memcpy(request->bytes.data() + record.dataOffset, buffer, length);
    std::uint8_t* data = request->bytes.data();
    const auto size = static_cast<std::uint32_t>(request->bytes.size());
    return issue(ioctl::kBufferedTransfer, std::move(request), data, size, overlapped);
}

TransferRequestPtr CCyIsocEndPoint::BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                                  Overlapped* overlapped) {
    return beginDataTransfer(buffer, length, overlapped);
}

}  // namespace ZmCoreLib_v4
