// Endpoint objects of an open UsbDevice: control and data transfers with overlapped requests and
// time-outs, carried out as I/O-control requests on the device's driver handle.
//
// An endpoint is used by one thread at a time and takes no locks; several overlapped transfers of
// one endpoint may be in flight together, each with its own Overlapped, event and request. The
// endpoint lives from UsbDevice::Open until Close; the handle it uses belongs to the device.
//
// Failures report by result; the errno-valued cause is kept in lastError (and in
// platform::lastError()), the statuses the driver wrote in ntStatus / usbdStatus.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hardware/driver/usbdriver.h"
#include "hardware/usb/descriptors.h"

namespace ZmCoreLib_v4 {

// The request record of one started transfer, followed by the packet-information area and the
// data for the kinds of transfer that carry them. BeginTransfer hands it to the caller, who gives
// it back to FinishTransfer.
struct TransferRequest {
    std::vector<std::uint8_t> bytes;
};
using TransferRequestPtr = std::unique_ptr<TransferRequest>;

// Bytes per packet of an isochronous transfer's packet-information area (status, length).
inline constexpr std::uint32_t kIsoPacketInfoSize = 8;

class CCyUSBEndPoint {
public:
    // Time-out of a new endpoint.
    static constexpr std::uint32_t kDefaultTimeoutMs = 10000;

    CCyUSBEndPoint(UsbDriverHandle* handle, const usb::EndpointDescriptor& descriptor, bool usb3);
    virtual ~CCyUSBEndPoint() = default;
    CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
    CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

    // Starts a transfer whose data goes straight between the driver and `buffer`, which must stay
    // valid until the transfer is finished. Null when the handle is invalid or the driver refused
    // the request at once (lastError says why).
    virtual TransferRequestPtr BeginDirect(std::uint8_t* buffer, std::uint32_t length,
                                           Overlapped* overlapped);
    // Starts a transfer whose data travels inside the request (copied in, copied out by Finish).
    virtual TransferRequestPtr BeginBuffered(std::uint8_t* buffer, std::uint32_t length,
                                             Overlapped* overlapped);
    virtual TransferRequestPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                             Overlapped* overlapped) = 0;
    // Completes a transfer without waiting. `length` becomes the bytes transferred. True only when
    // the request succeeded with both statuses 0. Once the transfer is over the request is
    // released (`request` becomes null); a transfer that is still running keeps its request, so
    // the caller can abort it and finish it again: the driver may still write into its buffers.
    virtual bool FinishTransfer(std::uint8_t* buffer, std::uint32_t& length, Overlapped* overlapped,
                                TransferRequestPtr& request, std::uint8_t* packetInfo = nullptr);

    // Waits up to `timeoutMs` for a transfer started by BeginTransfer: true when it has finished
    // (at once or in time), false while it still runs.
    bool WaitForTransfer(Overlapped* overlapped, std::uint32_t timeoutMs);
    // Synchronous transfer bounded by the endpoint's time-out; on expiry the transfer is aborted
    // and reported as failed. `length` becomes the bytes transferred.
    bool TransferData(std::uint8_t* buffer, std::uint32_t& length);

    // Sets the driver's per-request size for this endpoint, rounded up to a multiple of the
    // maximum packet size; nothing when the handle is invalid or the packet size is 0.
    void SetTransferSize(std::uint32_t bytes);
    // The driver's per-request size, 0 on failure.
    std::uint32_t GetTransferSize();
    // Cancels every pending transfer of the endpoint; when it returns, each of them has
    // finished (the driver's abort completes them). Always true.
    bool Abort();
    // Clears a stalled endpoint; false with lastError on failure.
    bool ResetPipe();

    // Descriptor fields.
    std::uint8_t descriptorLength() const { return descriptorLength_; }
    std::uint8_t descriptorType() const { return descriptorType_; }
    std::uint8_t address() const { return address_; }
    std::uint8_t attributes() const { return attributes_; }
    std::uint32_t maxPacketSize() const { return maxPacketSize_; }
    std::uint8_t highBandwidthMultiplier() const { return multiplier_; }
    std::uint8_t interval() const { return interval_; }
    std::uint8_t maxBurst() const { return maxBurst_; }
    std::uint8_t companionAttributes() const { return companionAttributes_; }
    std::uint16_t bytesPerInterval() const { return bytesPerInterval_; }
    usb::TransferType transferType() const { return static_cast<usb::TransferType>(attributes_ & 0x03); }
    bool isIn() const { return in_; }
    bool isDirect() const { return direct_; }

    std::uint32_t timeoutMs() const { return timeoutMs_; }
    void setTimeoutMs(std::uint32_t timeoutMs) { timeoutMs_ = timeoutMs; }
    // Outcome of the last transfer and the errno-valued code of the last failed request.
    std::uint32_t usbdStatus() const { return usbdStatus_; }
    std::uint32_t ntStatus() const { return ntStatus_; }
    std::uint32_t bytesTransferred() const { return bytesTransferred_; }
    int lastError() const { return lastError_; }

protected:
    // Sends `code` with a request record built by the caller, overlapped, and keeps the error.
    // `out` is the output buffer (the caller's for a direct transfer, else the request itself).
    TransferRequestPtr issue(std::uint32_t code, TransferRequestPtr request, std::uint8_t* out,
                             std::uint32_t outLength, Overlapped* overlapped);
    // BeginDirect or BeginBuffered as the direct flag says: BeginTransfer of the data endpoints.
    TransferRequestPtr beginDataTransfer(std::uint8_t* buffer, std::uint32_t length, Overlapped* overlapped);
    // A record for this endpoint followed by `areaLength` zero bytes.
    TransferRequestPtr newRequest(std::uint32_t areaLength) const;
    // Keeps the thread's last error as the endpoint's.
    void recordError();

    UsbDriverHandle* handle_;  // owned by the device; null when closed
    bool in_;
    bool direct_ = true;

private:
    // A synchronous request whose one input byte is the endpoint address.
    bool sendAddressRequest(std::uint32_t code);

    std::uint32_t timeoutMs_ = kDefaultTimeoutMs;
    std::uint32_t usbdStatus_ = 0;
    std::uint32_t ntStatus_ = 0;
    std::uint32_t bytesTransferred_ = 0;
    int lastError_ = 0;

    std::uint8_t descriptorLength_;
    std::uint8_t descriptorType_;
    std::uint8_t address_;
    std::uint8_t attributes_;
    std::uint32_t maxPacketSize_;
    std::uint8_t multiplier_;
    std::uint8_t interval_;
    std::uint8_t maxBurst_ = 0;
    std::uint8_t companionAttributes_ = 0;
    std::uint16_t bytesPerInterval_ = 0;
};

// Endpoint 0. Each transfer is a control request built from the fields below; its data travels
// inside the request record.
class CCyControlEndPoint : public CCyUSBEndPoint {
public:
    enum Target : std::uint8_t {
        kTargetDevice = 0,
        kTargetInterface = 1,
        kTargetEndpoint = 2,
        kTargetOther = 3
    };
    enum RequestType : std::uint8_t { kRequestStandard = 0, kRequestClass = 1, kRequestVendor = 2 };
    enum Direction : std::uint8_t { kDirectionToDevice = 0, kDirectionFromDevice = 1 };

    CCyControlEndPoint(UsbDriverHandle* handle, std::uint16_t maxPacketSize);

    TransferRequestPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                     Overlapped* overlapped) override;
    // Set the direction, then TransferData.
    bool Read(std::uint8_t* buffer, std::uint32_t& length);
    bool Write(const std::uint8_t* buffer, std::uint32_t& length);

    // The time-out the request record carries: whole seconds, and 1 for 1 to 999 ms.
    static std::uint32_t timeoutSeconds(std::uint32_t timeoutMs);

    Target target = kTargetDevice;
    RequestType requestType = kRequestVendor;
    Direction direction = kDirectionToDevice;
    std::uint8_t requestCode = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
};

class CCyBulkEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    TransferRequestPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                     Overlapped* overlapped) override;
};

class CCyInterruptEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    TransferRequestPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                     Overlapped* overlapped) override;
};

// Isochronous transfers carry a packet-information area (kIsoPacketInfoSize bytes per packet of
// the maximum packet size, rounded up) between the record and the data.
class CCyIsocEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    TransferRequestPtr BeginDirect(std::uint8_t* buffer, std::uint32_t length,
                                   Overlapped* overlapped) override;
    TransferRequestPtr BeginBuffered(std::uint8_t* buffer, std::uint32_t length,
                                     Overlapped* overlapped) override;
    TransferRequestPtr BeginTransfer(std::uint8_t* buffer, std::uint32_t length,
                                     Overlapped* overlapped) override;

private:
    std::uint32_t packetInfoLength(std::uint32_t dataLength) const;
};

}  // namespace ZmCoreLib_v4
