#include "hardware/usb/usbdevice.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"
#include "platform/messagebox.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr std::uint8_t kGetDescriptorRequest = 6;
constexpr std::uint32_t kDescriptorTimeoutMs = 5000;
// GET_DESCRIPTOR values: descriptor type in the high byte, descriptor index in the low byte.
constexpr std::uint16_t kDeviceDescriptorValue = 0x0100;
constexpr std::uint16_t kConfigurationDescriptorValue = 0x0200;
constexpr std::uint16_t kStringDescriptorValue = 0x0300;
constexpr std::uint16_t kBosDescriptorValue = 0x0F00;

std::optional<std::uint16_t> stringLength(std::span<const std::uint8_t> head) {
    return usb::announcedLength(head, usb::kStringDescriptorType);
}

std::optional<std::uint16_t> bosLength(std::span<const std::uint8_t> head) {
    return usb::announcedLength(head, usb::kBosDescriptorType);
}

std::unique_ptr<CCyUSBEndPoint> makeEndpoint(UsbDriverHandle* handle,
                                             const usb::EndpointDescriptor& descriptor, bool usb3) {
    switch (descriptor.transferType()) {
        case usb::TransferType::Isochronous:
            return std::make_unique<CCyIsocEndPoint>(handle, descriptor, usb3);
        case usb::TransferType::Bulk:
            return std::make_unique<CCyBulkEndPoint>(handle, descriptor, usb3);
        case usb::TransferType::Interrupt:
            return std::make_unique<CCyInterruptEndPoint>(handle, descriptor, usb3);
        case usb::TransferType::Control:
            break;
    }
    return nullptr;  // endpoint 0 is the only control endpoint this layer drives
}

}  // namespace

UsbDevice::UsbDevice(const InterfaceClassId& interfaceClass, bool openNow, UsbDriver& driver)
    : driver_(driver), interfaceClass_(interfaceClass) {
    if (openNow) Open(0);
}

UsbDevice::~UsbDevice() {
    Close();
}

std::uint8_t UsbDevice::DeviceCount() {
    const int count = interfaceClass_ == kCameraInterfaceClass ? driver_.deviceCount() : 0;
    deviceCount_ = static_cast<std::uint8_t>(std::clamp(count, 0, 255));
    return deviceCount_;
}

bool UsbDevice::failOpen(int error) {
    Close();
    lastError_ = error;
    platform::setLastError(error);
    return false;
}

bool UsbDevice::Open(int index) {
    if (IsOpen()) Close();
    const std::uint8_t count = DeviceCount();
    if (index < 0 || index >= count) return failOpen(ENODEV);
    handle_ = driver_.open(index);
    if (!handle_) return failOpen(platform::lastError());
    deviceIndex_ = index;

    // Endpoint 0 reads the descriptors before its packet size is known; it is built again below.
    controlEndPoint_ = std::make_unique<CCyControlEndPoint>(handle_.get(), 0);
    controlEndPoint_->setTimeoutMs(kDescriptorTimeoutMs);
    if (!readDeviceInformation()) return false;
    queryDriverInformation();
    if (!readConfigurations()) return false;

    controlEndPoint_ =
        std::make_unique<CCyControlEndPoint>(handle_.get(), descriptor_.controlMaxPacketSize());
    if (configurations_.empty() || configurations_.front().interfaces.empty()) return failOpen(ENODEV);
    selectInterface();
    return true;
}

void UsbDevice::Close() {
    bulkIn_ = bulkOut_ = nullptr;
    interruptIn_ = interruptOut_ = nullptr;
    isocIn_ = isocOut_ = nullptr;
    configurations_.clear();
    controlEndPoint_.reset();
    handle_.reset();  // waits for the handle's pending requests
    deviceIndex_ = -1;
    descriptor_ = {};
    languageId_ = 0;
    manufacturer_.clear();
    product_.clear();
    serialNumber_.clear();
    driverVersion_ = usbStackVersion_ = 0;
    deviceAddress_ = 0;
    deviceName_.clear();
    friendlyName_.clear();
    highSpeed_ = superSpeed_ = false;
    currentConfiguration_ = currentInterface_ = 0;
    alternateSetting_ = 0;
}

bool UsbDevice::IoControl(std::uint32_t code, void* buffer, std::uint32_t length) {
    if (!handle_) {
        platform::setLastError(lastError_ = EBADF);
        return false;
    }
    std::uint32_t returned = 0;
    if (!handle_->ioControl(code, buffer, length, buffer, length, &returned, nullptr)) {
        lastError_ = platform::lastError();
        return false;
    }
    return returned == length;
}

bool UsbDevice::ResetParentPort() {
    return IoControl(ioctl::kResetParentPort, nullptr, 0);
}

bool UsbDevice::CyclePort() {
    return IoControl(ioctl::kCyclePort, nullptr, 0);
}

std::optional<std::vector<std::uint8_t>> UsbDevice::getDescriptor(std::uint16_t value, std::uint16_t index,
                                                                  std::uint32_t length) {
    CCyControlEndPoint& endpoint = *controlEndPoint_;
    endpoint.target = CCyControlEndPoint::kTargetDevice;
    endpoint.requestType = CCyControlEndPoint::kRequestStandard;
    endpoint.requestCode = kGetDescriptorRequest;
    endpoint.value = value;
    endpoint.index = index;
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t received = length;
    if (!endpoint.Read(bytes.data(), received)) {
        lastError_ = endpoint.lastError();
        return std::nullopt;
    }
    bytes.resize(received);
    return bytes;
}

std::optional<std::vector<std::uint8_t>> UsbDevice::readDescriptor(std::uint16_t value, std::uint16_t index,
                                                                   std::uint32_t headLength,
                                                                   AnnouncedLength announced) {
    auto head = getDescriptor(value, index, headLength);
    if (!head) return std::nullopt;
    const auto length = announced(*head);
    if (!length || *length <= head->size()) return head;  // malformed heads go to the parser as they are
    return getDescriptor(value, index, *length);
}

std::u16string UsbDevice::readString(std::uint8_t stringIndex) {
    if (stringIndex == 0) return {};
    const auto bytes =
        readDescriptor(kStringDescriptorValue + stringIndex, languageId_, usb::kStringHeadSize, stringLength);
    return bytes ? usb::parseStringDescriptor(*bytes) : std::u16string();
}

bool UsbDevice::readDeviceInformation() {
    // A device that does not answer yet (it is still attaching) reads as vendor id 0.
    if (const auto bytes = getDescriptor(kDeviceDescriptorValue, 0, usb::kDeviceDescriptorSize))
        descriptor_ = usb::parseDeviceDescriptor(*bytes).value_or(usb::DeviceDescriptor{});

    if (const auto languages = readDescriptor(kStringDescriptorValue, 0, usb::kStringHeadSize, stringLength))
        languageId_ = usb::chooseLanguageId(usb::parseLanguageIds(*languages));
    manufacturer_ = readString(descriptor_.manufacturerIndex);
    product_ = readString(descriptor_.productIndex);
    serialNumber_ = readString(descriptor_.serialNumberIndex);

    if (descriptor_.usbVersion >= usb::kUsb3Version) {
        const auto bos = readDescriptor(kBosDescriptorValue, 0, usb::kBosHeadSize, bosLength);
        if (bos && !usb::parseBos(*bos)) {
            platform::showMessageBox(kWrongBosCaption, kWrongBosText);
            return failOpen(EPROTO);
        }
    }
    return true;
}

template <typename T>
bool UsbDevice::queryDriver(std::uint32_t code, T* value) {
    std::uint8_t bytes[sizeof(T)] = {};
    if (!IoControl(code, bytes, sizeof bytes)) return false;
    *value = static_cast<T>(littleendian::get(bytes, sizeof bytes));
    return true;
}

void UsbDevice::queryDriverInformation() {
    queryDriver(ioctl::kGetDeviceAddress, &deviceAddress_);
    char name[kDriverNameSize] = {};
    if (IoControl(ioctl::kGetDeviceName, name, sizeof name))
        deviceName_.assign(name, strnlen(name, sizeof name));
    std::memset(name, 0, sizeof name);
    if (IoControl(ioctl::kGetFriendlyName, name, sizeof name))
        friendlyName_.assign(name, strnlen(name, sizeof name));
    queryDriver(ioctl::kGetDriverVersion, &driverVersion_);
    queryDriver(ioctl::kGetUsbStackVersion, &usbStackVersion_);
    std::uint32_t speed = 0;
    queryDriver(ioctl::kGetBusSpeed, &speed);
    highSpeed_ = speed == kHighSpeed;
    superSpeed_ = speed == kSuperSpeed;
}

bool UsbDevice::readConfigurations() {
    const bool usb3 = descriptor_.usbVersion >= usb::kUsb3Version;
    const std::size_t count = std::min<std::size_t>(descriptor_.configurationCount, usb::kMaxConfigurations);
    for (std::size_t c = 0; c < count; ++c) {
        const auto bytes = readDescriptor(static_cast<std::uint16_t>(kConfigurationDescriptorValue + c), 0,
                                          usb::kConfigurationHeadSize, usb::configurationTotalLength);
        if (!bytes) break;  // a device that does not answer is not a malformed one
        auto parsed = usb::parseConfiguration(*bytes);
        if (!parsed) {
            platform::showMessageBox(kWrongConfigurationCaption, kWrongConfigurationText);
            return failOpen(EPROTO);
        }
        Configuration& configuration = configurations_.emplace_back();
        configuration.descriptor = std::move(*parsed);
        for (const usb::InterfaceDescriptor& descriptor : configuration.descriptor.interfaces) {
            Interface& interface = configuration.interfaces.emplace_back();
            interface.descriptor = descriptor;
            for (const usb::EndpointDescriptor& endpoint : descriptor.endpoints)
                if (auto object = makeEndpoint(handle_.get(), endpoint, usb3))
                    interface.endpoints.push_back(std::move(object));
        }
    }
    return true;
}

void UsbDevice::selectInterface() {
    if (!queryDriver(ioctl::kGetAlternateSetting, &alternateSetting_)) alternateSetting_ = 0;
    currentConfiguration_ = 0;
    const std::vector<Interface>& interfaces = configurations_.front().interfaces;
    currentInterface_ = 0;
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].descriptor.alternateSetting == alternateSetting_) {
            currentInterface_ = static_cast<int>(i);
            break;
        }
    }
    for (const auto& endpoint : interfaces[currentInterface_].endpoints) {
        const bool in = endpoint->isIn();
        switch (endpoint->transferType()) {
            case usb::TransferType::Bulk: {
                auto*& shortcut = in ? bulkIn_ : bulkOut_;
                if (!shortcut) shortcut = static_cast<CCyBulkEndPoint*>(endpoint.get());
                break;
            }
            case usb::TransferType::Interrupt: {
                auto*& shortcut = in ? interruptIn_ : interruptOut_;
                if (!shortcut) shortcut = static_cast<CCyInterruptEndPoint*>(endpoint.get());
                break;
            }
            case usb::TransferType::Isochronous: {
                auto*& shortcut = in ? isocIn_ : isocOut_;
                if (!shortcut) shortcut = static_cast<CCyIsocEndPoint*>(endpoint.get());
                break;
            }
            case usb::TransferType::Control:
                break;
        }
    }
}

std::string inUseElsewhereMessage(UsbDriver& driver, int index) {
    UsbDeviceEntry entry;
    const bool known = driver.deviceEntry(index, &entry);
    const std::string device = known ? "The camera \"" + entry.friendlyName + "\""
                                     : "The camera at device index " + std::to_string(index);
    const std::string users =
        known && !entry.users.empty() ? entry.users : "another program (the system does not tell which)";
    return device + " is in use by " + users +
           " and is left alone. Free it there (close that program, or unbind that driver), then start this "
           "program again.";
}

}  // namespace ZmCoreLib_v4
