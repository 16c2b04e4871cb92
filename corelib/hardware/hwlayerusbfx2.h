// The hardware layer of a camera built around an EZ-USB FX2 controller and an FPGA: registers and
// vendor requests on the control endpoint, the image stream on the first bulk IN endpoint.
//
// Threads: a layer is used by one thread at a time. Register and vendor requests take no lock of
// the layer (the device code serialises them per camera). The requests of a bulk read are issued
// and collected under one lock shared by every layer of the process, so bulk reads of all cameras
// are serialised; the recovery after a failed read (abort, pauses, pipe reset) runs without it,
// so one camera's fault does not hold up the others.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "hardware/driver/usbdriver.h"
#include "hardware/hwlayer.h"
#include "hardware/usb/usbdevice.h"
#include "platform/event.h"

namespace ZmCoreLib_v4 {

class HwLayerUsbFx2 : public IHwLayer {
public:
    static constexpr std::uint32_t kBulkRequestSize = 524288;
    static constexpr int kRequestsInFlight = 4;
    static constexpr int kControlPieceSize = 128;
    // Pause after aborting and after resetting a failed bulk endpoint.
    static constexpr std::uint32_t kFailurePauseMs = 500;
    // How often a failed bulk endpoint's pipe reset is tried before the read gives up.
    static constexpr int kRecoveryAttempts = 10;

    // Opens the device with `deviceIndex` (after device 0, as the device class does when asked to
    // open at construction). The driver must outlive the layer.
    explicit HwLayerUsbFx2(int deviceIndex, UsbDriver& driver = usbDriver());
    // Works on `device`, already opened by the caller, who keeps it open and alive for the
    // layer's lifetime. Discovery probes this way: a device index names another camera as soon as
    // a camera re-attaches below it, an open handle keeps naming the same one.
    explicit HwLayerUsbFx2(UsbDevice& device);
    // Works on `device`, already opened by the caller, and closes it with the layer. Device
    // creation builds its camera this way on the handle that identified it.
    explicit HwLayerUsbFx2(std::unique_ptr<UsbDevice> device);
    ~HwLayerUsbFx2() override = default;
    HwLayerUsbFx2(const HwLayerUsbFx2&) = delete;
    HwLayerUsbFx2& operator=(const HwLayerUsbFx2&) = delete;

    void WriteRegister(unsigned address, unsigned value) override;
    unsigned ReadRegister(unsigned address) override;
    void VendorWrite(int index, unsigned address, const void* data, int length) override;
    void VendorRead(int index, unsigned address, void* data, int length) override;
    // Blocks the calling thread: first for the process's read lock (held by another read for at
    // most its own bound, never for its recovery), then about `timeoutMs` per 512 KiB request,
    // plus two pauses of kFailurePauseMs after a failure, which it spends without the lock.
    bool ReadData(void* buffer, const int* length, int timeoutMs) override;
    // As ReadData; the read lock stays held while `whileLastRequestRuns` runs, so it should take
    // no longer than a request on the wire (12 ms at USB 2.0 rates).
    // A request that comes back with fewer bytes than it asked for ends the read as short.
    BulkRead readDataOverlapping(void* buffer, const int* length, int timeoutMs,
                                 const std::function<void()>& whileLastRequestRuns) override;

    bool isOpen() const { return openResult_; }
    int deviceIndex() const { return deviceIndex_; }

private:
    // One request of the image stream in flight.
    struct Slot {
        std::uint8_t* data = nullptr;
        platform::Event event{platform::ResetMode::Auto};
        Overlapped overlapped{&event};
        TransferRequestPtr request;
        std::uint32_t count = 0;
    };

    // Sends `length` bytes (or receives them into `data`) as vendor requests of at most
    // kControlPieceSize bytes each; one request without data when `length` is 0.
    void vendorTransfer(CCyControlEndPoint::Direction direction, int index, unsigned address,
                        std::uint8_t* data, int length);
    // ReadData, and readDataOverlapping with a non-null `whileLastRequestRuns`.
    BulkRead readData(void* buffer, const int* length, int timeoutMs,
                      const std::function<void()>* whileLastRequestRuns);
    // Starts the next request of the stream in `slot`; false when the driver refused it.
    bool queue(CCyBulkEndPoint& endpoint, Slot& slot, std::uint8_t*& next, std::uint32_t& remaining);
    // Issues and collects the requests of one read of `wanted` bytes under the process's read
    // lock; kFailed as soon as one fails, kShort as soon as one comes back short, their requests
    // left in the slots.
    BulkRead stream(CCyBulkEndPoint& endpoint, std::uint8_t* buffer, std::uint32_t wanted,
                    std::uint32_t timeoutMs, const std::function<void()>* whileLastRequestRuns);
    // Finishes the requests the slots still hold, waiting for each at most `timeoutMs`; false
    // when one of them is still running.
    bool finishSlots(CCyBulkEndPoint& endpoint, std::uint32_t timeoutMs);
    // Aborts and resets the endpoint after a failed or short read, without the read lock.
    void recover(CCyBulkEndPoint& endpoint);

    std::unique_ptr<UsbDevice> ownDevice_;  // null when the device is borrowed
    UsbDevice& device_;
    bool openResult_;
    int deviceIndex_;
    std::array<Slot, kRequestsInFlight> slots_;
};

}  // namespace ZmCoreLib_v4
