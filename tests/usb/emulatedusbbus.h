// USB cameras emulated at the kernel interface (usbfs) with umockdev, so that the unmodified system
// libusb talks to devices this code answers URB by URB. Only usable in a process started under
// umockdev-wrapper, and only before libusb is initialised.
//
// Control URBs are answered at once by `controlIn` / recorded. Bulk IN URBs are held and
// completed by the bulk policy, as a driver would see them from a camera that streams a frame.
// URB handling runs on umockdev's worker thread; the state is shared with the test under a lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace ZmCoreLib_v4::testing_support {

using Bytes = std::vector<std::uint8_t>;

class EmulatedUsbBus {
public:
    enum class BulkMode {
        Complete,  // from the stream; held back until four are in flight or the stream is asked for
        Hang,      // never completes: only discarding ends a URB
        Stall,     // fails with -EPIPE
        Unplug,    // fails with -ENODEV
    };
    struct Setup {
        std::uint8_t requestType, request;
        std::uint16_t value, index, length;
    };
    // A control URB as it came: its setup packet and, for OUT requests, its data.
    struct ControlRequest {
        Setup setup;
        Bytes data;
    };
    struct BulkRequest {
        std::uint8_t endpoint;
        std::uint32_t length;
        int inFlightAtSubmit;  // held URBs including this one
    };

    // True when the process runs under umockdev-wrapper.
    static bool available();

    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    // Adds a device at sysfs name `port` (e.g. "1-2" or "2-1.3"): a high-speed device with one
    // configuration holding bulk IN 0x86 and bulk OUT 0x02, and the product string `product`.
    void addDevice(const std::string& port, int bus, int address, std::uint16_t vendorId,
                   std::uint16_t productId, const std::u16string& product);

    // Tells the system (udev's listeners, libusb's hotplug monitor among them) that the device at
    // sysfs name `port`, added on bus `bus` after libusb started, has arrived.
    void announceArrival(const std::string& port, int bus);
    // Takes the device at sysfs name `port` with device file number `address` off bus `bus`,
    // telling the system it has left.
    void removeDevice(const std::string& port, int bus, int address);

    // Binds the kernel driver `driver` to interface 0 of the device at sysfs name `port` (added
    // before on bus `bus`), as sysfs shows it.
    void bindKernelDriver(const std::string& port, int bus, const std::string& driver);

    // Answers of vendor IN requests (the bytes, or nullopt to stall).
    void setVendorIn(std::function<std::optional<Bytes>(const Setup&)> answer);
    void setBulkMode(BulkMode mode);
    // Claiming an interface fails with this errno-valued code (0: claims succeed), as the kernel
    // answers when another program has claimed it.
    void setClaimError(int error);
    void startStream(std::uint64_t length);
    static std::uint8_t streamByte(std::uint64_t offset) {
        return static_cast<std::uint8_t>(offset * 3 + offset / 509);
    }

    std::vector<ControlRequest> vendorRequests() const;
    std::vector<BulkRequest> bulkRequests() const;
    std::vector<unsigned> clearedHalts() const;
    // Interface numbers in the order they were claimed (successfully or not) and released.
    std::vector<unsigned> claimedInterfaces() const;
    std::vector<unsigned> releasedInterfaces() const;
    // Every control URB submitted, standard requests included.
    int controlUrbs() const;
    int discardedUrbs() const;
    int heldUrbs() const;

private:
    struct Urb {
        UMockdevIoctlData* urb;
        UMockdevIoctlData* buffer;
        unsigned long clientAddress;
        std::uint64_t streamOffset;
    };
    struct Device {
        std::string devnode;
        std::uint16_t vendorId;
        std::uint16_t productId;
        std::u16string product;
        int fifo = -1;  // our end of the FIFO standing in for the device file
    };

    static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool handle(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client);
    void answerControl(const Device& device, Urb& urb);
    void completeLocked(Urb urb, int status, std::uint32_t actualLength);
    void applyBulkModeLocked();
    void updateReadinessLocked();

    UMockdevTestbed* testbed_;
    UMockdevIoctlBase* handler_;
    std::string root_;

    mutable std::mutex mutex_;  // guards everything below; taken by umockdev's worker thread
    std::vector<Device> devices_;
    std::function<std::optional<Bytes>(const Setup&)> vendorIn_;
    BulkMode bulkMode_ = BulkMode::Complete;
    int claimError_ = 0;
    std::uint64_t streamLength_ = 0;
    std::uint64_t streamOffset_ = 0;
    std::deque<Urb> held_;
    std::deque<Urb> completed_;
    std::vector<ControlRequest> vendorRequests_;
    std::vector<BulkRequest> bulkRequests_;
    std::vector<unsigned> clearedHalts_;
    std::vector<unsigned> claimed_;
    std::vector<unsigned> released_;
    int controlUrbs_ = 0;
    int discarded_ = 0;
};

}  // namespace ZmCoreLib_v4::testing_support
