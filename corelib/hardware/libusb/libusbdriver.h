// The driver for real cameras: every USB device of the camera vendor is a device of the camera
// interface class, reached through the system's libusb.
//
// Devices are listed in a stable order: by bus number, then by the port path from the root hub.
// Overlapped requests become asynchronous libusb transfers; the driver's own event thread
// completes them (it is started by the constructor and stopped by the destructor). Handles must
// be closed before the driver is destroyed.
//
// Opening a camera claims every interface of its active configuration for this process, before
// anything is sent to it; the handles of the process on one camera share that claim, and the last
// of them releases it. A camera another program (or a kernel driver) has claimed is not opened.
//
// Watching: where libusb reports hotplug events, the driver registers for arrivals and
// departures of the camera vendor's devices while someone watches; elsewhere its event thread
// compares the vendor's devices on the bus every kPollInterval. Either way the watch callback
// runs on the event thread, after libusb_handle_events has returned, under no libusb lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hardware/driver/usbdriver.h"

struct libusb_context;
struct libusb_device;

namespace ZmCoreLib_v4 {

class ClaimedDevice;

class LibusbDriver : public UsbDriver {
public:
    // How often the vendor's devices are compared while watching without hotplug events.
    static constexpr std::chrono::milliseconds kPollInterval{500};

    // Starts libusb and the event thread. When libusb cannot start, the driver lists no devices
    // and the reason goes to standard error.
    LibusbDriver();
    ~LibusbDriver() override;
    LibusbDriver(const LibusbDriver&) = delete;
    LibusbDriver& operator=(const LibusbDriver&) = delete;

    // Any thread. Reads the bus; opens each camera briefly only when its name is asked for.
    int deviceCount() override;
    // Also looks through the system for the camera's other users (processes, kernel drivers).
    bool deviceEntry(int index, UsbDeviceEntry* entry) override;
    // EBUSY when another program or a kernel driver has claimed the camera.
    std::unique_ptr<UsbDriverHandle> open(int index) override;
    void watch(std::function<void()> changed) override;

private:
    struct Listed {
        libusb_device* device;  // referenced while listed
        std::string path;       // "<bus>-<port>.<port>..."
    };

    // Event thread: completes transfers and tells the watcher until the destructor asks it to stop.
    void handleEvents();
    // Called by libusb on whichever thread handles events; only marks the change.
    static int onHotplug(libusb_context* context, libusb_device* device, int event, void* driver);
    void tellWatcher();
    // The camera vendor's devices on the bus now, as (bus, address) pairs in order.
    std::vector<std::pair<int, int>> vendorDevicesOnBus();
    void releaseListLocked();
    // The claimed camera `device`: the one the process holds already, or newly opened and
    // claimed. Null with lastError() when it cannot be opened or claimed.
    std::shared_ptr<ClaimedDevice> claim(libusb_device* device);

    libusb_context* context_ = nullptr;
    std::mutex mutex_;  // guards devices_
    std::vector<Listed> devices_;
    // Guards claims_ and is held while a claimed camera is released, so that a camera is claimed
    // anew only once its last claim is gone. Never taken together with mutex_.
    std::mutex claimsMutex_;
    std::condition_variable claimReleased_;
    // The cameras this process has claimed, each until its release has finished; its open
    // handle keeps the device referenced meanwhile.
    std::map<libusb_device*, std::weak_ptr<ClaimedDevice>> claims_;
    // Held while the watch callback runs; guards watcher_ and hotplugHandle_. Taken under no
    // other lock of the driver.
    std::mutex watchMutex_;
    std::function<void()> watcher_;
    std::optional<int> hotplugHandle_;      // registered with libusb while watching with hotplug events
    std::atomic<bool> hotplugSeen_{false};  // a hotplug event came and is not told yet
    std::atomic<bool> polling_{false};      // watching without hotplug events
    std::atomic<bool> stopping_{false};
    std::thread eventThread_;
};

}  // namespace ZmCoreLib_v4
