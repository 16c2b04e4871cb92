// The driver for real cameras: every USB device of the camera vendor is a device of the camera
// interface class, reached through the system's libusb.
//
// Devices are listed in a stable order: by bus number, then by the port path from the root hub.
// Overlapped requests become asynchronous libusb transfers; the driver's own event thread
// completes them (it is started by the constructor and stopped by the destructor). Handles must
// be closed before the driver is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hardware/driver/usbdriver.h"

struct libusb_context;
struct libusb_device;

namespace ZmCoreLib_v4 {

class LibusbDriver : public UsbDriver {
public:
    static constexpr std::uint16_t kCameraVendorId = 0xAB10;

    // Starts libusb and the event thread. When libusb cannot start, the driver lists no devices
    // and the reason goes to standard error.
    LibusbDriver();
    ~LibusbDriver() override;
    LibusbDriver(const LibusbDriver&) = delete;
    LibusbDriver& operator=(const LibusbDriver&) = delete;

    // Any thread. Reads the bus; opens each camera briefly only when its name is asked for.
    int deviceCount() override;
    bool deviceEntry(int index, UsbDeviceEntry* entry) override;
    std::unique_ptr<UsbDriverHandle> open(int index) override;

private:
    struct Listed {
        libusb_device* device;  // referenced while listed
        std::string path;       // "<bus>-<port>.<port>..."
    };

    // Event thread: completes transfers until the destructor asks it to stop.
    void handleEvents();
    void releaseListLocked();

    libusb_context* context_ = nullptr;
    std::mutex mutex_;  // guards devices_
    std::vector<Listed> devices_;
    std::atomic<bool> stopping_{false};
    std::thread eventThread_;
};

}  // namespace ZmCoreLib_v4
