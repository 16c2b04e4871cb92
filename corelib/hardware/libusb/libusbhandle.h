// An open camera of the libusb driver: carries out the I/O-control requests of the driver boundary
// with libusb. Transfers are asynchronous libusb transfers completed on the driver's event thread;
// the other requests run synchronously on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "hardware/driver/usbdriver.h"

struct libusb_device_handle;
struct libusb_transfer;

namespace ZmCoreLib_v4 {

// An opened camera with the interfaces of its active configuration claimed, so that no other
// program can use it meanwhile. Shared by the handles of this process on that camera.
class ClaimedDevice {
public:
    // Takes ownership of `handle`, on which the caller has claimed `interfaces`.
    ClaimedDevice(libusb_device_handle* handle, std::vector<int> interfaces)
        : handle_(handle), interfaces_(std::move(interfaces)) {}
    // Releases the interfaces and closes the device; no transfer of it may be in flight.
    ~ClaimedDevice();
    ClaimedDevice(const ClaimedDevice&) = delete;
    ClaimedDevice& operator=(const ClaimedDevice&) = delete;

    libusb_device_handle* handle() const { return handle_; }

private:
    libusb_device_handle* const handle_;
    const std::vector<int> interfaces_;
};

class LibusbHandle : public UsbDriverHandle {
public:
    // What the handle knows of an endpoint from the active configuration.
    struct EndpointInfo {
        std::uint8_t transferType;  // libusb_endpoint_transfer_type
    };

    LibusbHandle(std::shared_ptr<ClaimedDevice> device, std::string path, std::string friendlyName,
                 std::map<std::uint8_t, EndpointInfo> endpoints);
    // Cancels the transfers in flight and waits (bounded) until each has completed, then lets go
    // of the device (the last handle of the process releases and closes it).
    ~LibusbHandle() override;

    bool ioControl(std::uint32_t code, void* in, std::uint32_t inLength, void* out, std::uint32_t outLength,
                   std::uint32_t* bytesReturned, Overlapped* overlapped) override;

private:
    struct Transfer;
    static void onTransferDone(libusb_transfer* transfer);

    bool controlTransfer(std::uint8_t* buffer, std::uint32_t length, std::uint32_t* returned,
                         Overlapped* overlapped);
    bool dataTransfer(std::uint8_t* record, std::uint8_t* data, std::uint32_t length,
                      std::uint32_t dataOffset, std::uint32_t* returned, Overlapped* overlapped);
    // Submits a filled transfer; without `overlapped` waits for it (bounded).
    bool submit(Transfer* transfer, std::uint32_t* returned, Overlapped* overlapped);
    bool abortEndpoint(std::uint8_t address);
    bool resetPipe(std::uint8_t address);
    bool selectAlternateSetting(std::uint8_t alternateSetting);
    bool resetDevice();
    // Cancels the transfers `selected` and waits until none of them is in flight; false when
    // they did not come back within `timeoutMs`.
    template <typename Predicate>
    bool cancelAndWait(Predicate selected, std::uint32_t timeoutMs);

    const std::shared_ptr<ClaimedDevice> device_;
    libusb_device_handle* const handle_;
    const std::string path_;
    const std::string friendlyName_;
    const std::map<std::uint8_t, EndpointInfo> endpoints_;

    std::mutex mutex_;  // guards everything below; taken by the event thread on completion
    std::condition_variable transferDone_;
    std::set<Transfer*> inFlight_;
    std::map<std::uint8_t, std::uint32_t> transferSizes_;
    std::uint8_t alternateSetting_ = 0;
};

}  // namespace ZmCoreLib_v4
