// A USB device of the camera interface class, reached through the process's driver: counts and
// opens devices, reads and parses their descriptors, and builds the endpoint objects.
//
// A UsbDevice and its endpoints are used by one thread at a time; the class takes no locks.
// Endpoint pointers handed out stay valid until Close() (or the next Open, or destruction).
// Operations on a closed device return false / null / 0 without calling the driver.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hardware/driver/usbdriver.h"
#include "hardware/usb/descriptors.h"
#include "hardware/usb/usbendpoint.h"

namespace ZmCoreLib_v4 {

class UsbDevice {
public:
    // Message boxes shown when a device's descriptors cannot be used.
    static constexpr const char* kWrongConfigurationCaption = "Wrong Device Configuration";
    static constexpr const char* kWrongConfigurationText = "Please correct firmware descriptor table";
    static constexpr const char* kWrongBosCaption = "Wrong BOS Descriptor";
    static constexpr const char* kWrongBosText = "Please correct firmware BOS descriptor table";

    // One interface (one alternate setting) of a configuration with its endpoint objects.
    struct Interface {
        usb::InterfaceDescriptor descriptor;
        std::vector<std::unique_ptr<CCyUSBEndPoint>> endpoints;
    };
    struct Configuration {
        usb::ConfigurationDescriptor descriptor;
        std::vector<Interface> interfaces;
    };

    // Opens device 0 when `openNow`. The driver must outlive the device.
    explicit UsbDevice(const InterfaceClassId& interfaceClass = kCameraInterfaceClass, bool openNow = false,
                       UsbDriver& driver = usbDriver());
    ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    // Number of present devices of the interface class (at most 255).
    std::uint8_t DeviceCount();
    // Opens the device with that index among the present ones and reads its descriptors; closes
    // the open one first. False (device closed, lastError set) on failure.
    bool Open(int index);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    // Synchronous request with one buffer for input and output; true when the driver returned
    // exactly `length` bytes.
    bool IoControl(std::uint32_t code, void* buffer, std::uint32_t length);
    bool ResetParentPort();
    // Makes the device leave the bus and attach again.
    bool CyclePort();

    std::uint16_t vendorId() const { return descriptor_.vendorId; }
    std::uint16_t productId() const { return descriptor_.productId; }
    std::uint16_t deviceRelease() const { return descriptor_.deviceRelease; }
    std::uint16_t usbVersion() const { return descriptor_.usbVersion; }
    const usb::DeviceDescriptor& deviceDescriptor() const { return descriptor_; }
    std::uint16_t languageId() const { return languageId_; }
    const std::u16string& manufacturer() const { return manufacturer_; }
    const std::u16string& product() const { return product_; }
    const std::u16string& serialNumber() const { return serialNumber_; }

    // What the driver tells about the open device.
    std::uint32_t driverVersion() const { return driverVersion_; }
    std::uint32_t usbStackVersion() const { return usbStackVersion_; }
    std::uint8_t deviceAddress() const { return deviceAddress_; }
    const std::string& deviceName() const { return deviceName_; }
    const std::string& friendlyName() const { return friendlyName_; }
    bool isHighSpeed() const { return highSpeed_; }
    bool isSuperSpeed() const { return superSpeed_; }

    int deviceIndex() const { return deviceIndex_; }
    const std::vector<Configuration>& configurations() const { return configurations_; }
    int currentConfiguration() const { return currentConfiguration_; }
    int currentInterface() const { return currentInterface_; }
    std::uint8_t alternateSetting() const { return alternateSetting_; }

    CCyControlEndPoint* controlEndPoint() const { return controlEndPoint_.get(); }
    CCyBulkEndPoint* bulkInEndPoint() const { return bulkIn_; }
    CCyBulkEndPoint* bulkOutEndPoint() const { return bulkOut_; }
    CCyInterruptEndPoint* interruptInEndPoint() const { return interruptIn_; }
    CCyInterruptEndPoint* interruptOutEndPoint() const { return interruptOut_; }
    CCyIsocEndPoint* isocInEndPoint() const { return isocIn_; }
    CCyIsocEndPoint* isocOutEndPoint() const { return isocOut_; }

    // errno-valued code of the last failed request.
    int lastError() const { return lastError_; }

private:
    // Reads a descriptor whose head announces its full length: first `headLength` bytes, then
    // the announced length. Nullopt when a request fails; the bytes unchecked otherwise.
    using AnnouncedLength = std::optional<std::uint16_t> (*)(std::span<const std::uint8_t> head);
    std::optional<std::vector<std::uint8_t>> readDescriptor(std::uint16_t value, std::uint16_t index,
                                                            std::uint32_t headLength,
                                                            AnnouncedLength announced);
    // One GET_DESCRIPTOR request of up to `length` bytes: the bytes that came, nullopt on failure.
    std::optional<std::vector<std::uint8_t>> getDescriptor(std::uint16_t value, std::uint16_t index,
                                                           std::uint32_t length);
    std::u16string readString(std::uint8_t stringIndex);
    bool readDeviceInformation();
    bool readConfigurations();
    void queryDriverInformation();
    void selectInterface();
    // Closes after a failed open, keeping the failure's code.
    bool failOpen(int error);
    template <typename T>
    bool queryDriver(std::uint32_t code, T* value);

    UsbDriver& driver_;
    const InterfaceClassId interfaceClass_;
    std::unique_ptr<UsbDriverHandle> handle_;
    int deviceIndex_ = -1;
    std::uint8_t deviceCount_ = 0;

    usb::DeviceDescriptor descriptor_;
    std::uint16_t languageId_ = 0;
    std::u16string manufacturer_;
    std::u16string product_;
    std::u16string serialNumber_;

    std::uint32_t driverVersion_ = 0;
    std::uint32_t usbStackVersion_ = 0;
    std::uint8_t deviceAddress_ = 0;
    std::string deviceName_;
    std::string friendlyName_;
    bool highSpeed_ = false;
    bool superSpeed_ = false;

    std::vector<Configuration> configurations_;
    int currentConfiguration_ = 0;
    int currentInterface_ = 0;
    std::uint8_t alternateSetting_ = 0;

    std::unique_ptr<CCyControlEndPoint> controlEndPoint_;
    CCyBulkEndPoint* bulkIn_ = nullptr;
    CCyBulkEndPoint* bulkOut_ = nullptr;
    CCyInterruptEndPoint* interruptIn_ = nullptr;
    CCyInterruptEndPoint* interruptOut_ = nullptr;
    CCyIsocEndPoint* isocIn_ = nullptr;
    CCyIsocEndPoint* isocOut_ = nullptr;

    int lastError_ = 0;
};

// What to tell a person about device `index` (as of `driver`'s last count) when it cannot be
// opened because it is in use elsewhere (EBUSY): which device it is, who uses it as far as the
// driver can tell, and what to do.
std::string inUseElsewhereMessage(UsbDriver& driver, int index);

}  // namespace ZmCoreLib_v4
