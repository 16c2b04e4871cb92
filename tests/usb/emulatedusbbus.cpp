#include "emulatedusbbus.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace ZmCoreLib_v4::testing_support {

namespace {

// usbfs capabilities: zero packets, bulk continuation, no packet size limit, scatter-gather and
// reaping after disconnect. Without "no packet size limit" libusb cuts bulk reads into 16 KiB.
constexpr std::uint32_t kCapabilities = 0x1f;
constexpr std::size_t kSetupSize = 8;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kVendorOut = 0x40;
constexpr int kBulkUrbsHeld = 4;

const Bytes kDeviceDescriptorHead{0x12, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x40};
const Bytes kConfiguration{0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,  // configuration
                           0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00,  // interface 0
                           0x07, 0x05, 0x86, 0x02, 0x00, 0x02, 0x00,              // bulk IN 0x86
                           0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00};             // bulk OUT 0x02

Bytes deviceDescriptor(std::uint16_t vendorId, std::uint16_t productId) {
    Bytes bytes = kDeviceDescriptorHead;
    for (std::uint16_t value : {vendorId, productId, std::uint16_t{0}}) {
        bytes.push_back(static_cast<std::uint8_t>(value));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    bytes.insert(bytes.end(), {0x01, 0x02, 0x03, 0x01});
    return bytes;
}

Bytes stringDescriptor(std::u16string_view text) {
    Bytes bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::string hex(const Bytes& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

// A full FIFO is not writable, so libusb's poll for completed URBs sleeps; an empty one wakes it.
void fill(int fd) {
    const char block[4096] = {};
    while (write(fd, block, sizeof block) > 0) {
    }
}

void drain(int fd) {
    char block[4096];
    while (read(fd, block, sizeof block) > 0) {
    }
}

usbdevfs_urb* urbOf(UMockdevIoctlData* data) {
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

}  // namespace

bool EmulatedUsbBus::available() {
    // The preload library that redirects device files must be mapped into this process.
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libumockdev-preload") != std::string::npos) return true;
    return false;
}

EmulatedUsbBus::EmulatedUsbBus() : testbed_(umockdev_testbed_new()), handler_(umockdev_ioctl_base_new()) {
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsbBus::onIoctl), this);
}

EmulatedUsbBus::~EmulatedUsbBus() {
    for (const Device& device : devices_) {
        umockdev_testbed_detach_ioctl(testbed_, device.devnode.c_str(), nullptr);
        close(device.fifo);
    }
    for (auto* queue : {&held_, &completed_})
        for (const Urb& urb : *queue) {
            g_object_unref(urb.buffer);
            g_object_unref(urb.urb);
        }
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

void EmulatedUsbBus::addDevice(const std::string& port, int bus, int address, std::uint16_t vendorId,
                               std::uint16_t productId, const std::u16string& product) {
    char node[64];
    std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", bus, address);
    char ids[64];
    std::snprintf(ids, sizeof ids, "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", vendorId, productId);
    const std::string description =
        "P: /devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" + port + "\nN: " + node +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + node +
        "\nE: BUSNUM=" + std::to_string(bus) + "\nE: DEVNUM=" + std::to_string(address) +
        "\nA: busnum=" + std::to_string(bus) + "\\n\nA: devnum=" + std::to_string(address) +
        "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n" + ids +
        "H: descriptors=" + hex(deviceDescriptor(vendorId, productId)) + hex(kConfiguration) + "\n";
    GError* error = nullptr;
    const std::string devnode = std::string("/dev/") + node;
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error) ||
        !umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), handler_, &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot emulate " + devnode + ": " + message);
    }
    // The testbed's device file is a regular file, always ready for poll: libusb's event loop
    // would spin. A FIFO that is ready only while a URB waits to be reaped lets it sleep.
    const std::string file = root_ + devnode;
    unlink(file.c_str());
    if (mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("cannot make a FIFO at " + file);
    const int fifo = open(file.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fifo < 0) throw std::runtime_error("cannot open " + file);
    fill(fifo);
    std::lock_guard lock(mutex_);
    devices_.push_back({devnode, vendorId, productId, product, fifo});
}

namespace {

std::string sysfsPath(const std::string& port, int bus) {
    return "/sys/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" + port;
}

}  // namespace

void EmulatedUsbBus::announceArrival(const std::string& port, int bus) {
    umockdev_testbed_uevent(testbed_, sysfsPath(port, bus).c_str(), "add");
}

void EmulatedUsbBus::removeDevice(const std::string& port, int bus, int address) {
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, address);
    {
        std::lock_guard lock(mutex_);
        const auto device = std::find_if(devices_.begin(), devices_.end(),
                                         [&](const Device& known) { return known.devnode == node; });
        if (device == devices_.end()) throw std::runtime_error(std::string("no emulated device ") + node);
        umockdev_testbed_detach_ioctl(testbed_, node, nullptr);
        close(device->fifo);
        devices_.erase(device);
    }
    // The departure is told while the device's properties can still be read.
    umockdev_testbed_uevent(testbed_, sysfsPath(port, bus).c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, sysfsPath(port, bus).c_str());
}

void EmulatedUsbBus::bindKernelDriver(const std::string& port, int bus, const std::string& driver) {
    const std::string description = "P: /devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" +
                                    port + "/" + port + ":1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
                                    "E: DRIVER=" + driver + "\nL: driver=../../../../../../bus/usb/drivers/" +
                                    driver + "\nA: bInterfaceNumber=00\\n\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot bind " + driver + " to " + port + ": " + message);
    }
}

void EmulatedUsbBus::setVendorIn(std::function<std::optional<Bytes>(const Setup&)> answer) {
    std::lock_guard lock(mutex_);
    vendorIn_ = std::move(answer);
}

void EmulatedUsbBus::setBulkMode(BulkMode mode) {
    std::lock_guard lock(mutex_);
    bulkMode_ = mode;
}

void EmulatedUsbBus::setClaimError(int error) {
    std::lock_guard lock(mutex_);
    claimError_ = error;
}

void EmulatedUsbBus::startStream(std::uint64_t length) {
    std::lock_guard lock(mutex_);
    streamLength_ = length;
    streamOffset_ = 0;
}

int EmulatedUsbBus::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<EmulatedUsbBus*>(self)->handle(client);
}

bool EmulatedUsbBus::handle(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;
    switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* capabilities =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), &error);
            std::memcpy(capabilities->data, &kCapabilities, sizeof kCapabilities);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(capabilities);
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE: {
            const bool claim = umockdev_ioctl_client_get_request(client) == USBDEVFS_CLAIMINTERFACE;
            UMockdevIoctlData* number = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error);
            int failure = 0;
            {
                std::lock_guard lock(mutex_);
                (claim ? claimed_ : released_).push_back(*reinterpret_cast<unsigned*>(number->data));
                if (claim) failure = claimError_;
            }
            umockdev_ioctl_client_complete(client, failure ? -1 : 0, failure);
            g_object_unref(number);
            return true;
        }
        case USBDEVFS_RESET:
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_CLEAR_HALT: {
            UMockdevIoctlData* endpoint = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error);
            {
                std::lock_guard lock(mutex_);
                clearedHalts_.push_back(*reinterpret_cast<unsigned*>(endpoint->data));
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(endpoint);
            return true;
        }
        case USBDEVFS_SUBMITURB:
            submit(client);
            return true;
        case USBDEVFS_DISCARDURB: {
            unsigned long address = 0;
            std::memcpy(&address, arg->data, sizeof address);
            std::lock_guard lock(mutex_);
            for (auto it = held_.begin(); it != held_.end(); ++it) {
                if (it->clientAddress != address) continue;
                const Urb urb = *it;
                held_.erase(it);
                ++discarded_;
                completeLocked(urb, -ENOENT, 0);
                umockdev_ioctl_client_complete(client, 0, 0);
                return true;
            }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return true;
        }
        case USBDEVFS_REAPURBNDELAY: {
            std::lock_guard lock(mutex_);
            if (completed_.empty()) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return true;
            }
            const Urb urb = completed_.front();
            completed_.pop_front();
            UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            umockdev_ioctl_data_set_ptr(target, 0, urb.urb);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(target);
            g_object_unref(urb.buffer);
            g_object_unref(urb.urb);
            updateReadinessLocked();
            return true;
        }
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return true;
    }
}

void EmulatedUsbBus::submit(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    usbdevfs_urb* urb = urbOf(urbData);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                            static_cast<gsize>(urb->buffer_length), &error);
    Urb submitted{urbData, buffer, urbData->client_addr, 0};
    const std::string devnode = umockdev_ioctl_client_get_devnode(client);

    std::lock_guard lock(mutex_);
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        ++controlUrbs_;
        for (const Device& device : devices_)
            if (device.devnode == devnode) answerControl(device, submitted);
    } else {
        submitted.streamOffset = streamOffset_;
        streamOffset_ += static_cast<std::uint64_t>(urb->buffer_length);
        held_.push_back(submitted);
        bulkRequests_.push_back(
            {urb->endpoint, static_cast<std::uint32_t>(urb->buffer_length), static_cast<int>(held_.size())});
        applyBulkModeLocked();
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBus::answerControl(const Device& device, Urb& urb) {
    std::uint8_t* bytes = urb.buffer->data;
    const Setup setup{bytes[0], bytes[1], static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8),
                      static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8),
                      static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8)};
    std::optional<Bytes> answer;
    if (setup.requestType == kStandardIn && setup.request == kGetDescriptor) {
        const std::uint8_t index = setup.value & 0xFF;
        switch (setup.value >> 8) {
            case 1:
                answer = deviceDescriptor(device.vendorId, device.productId);
                break;
            case 2:
                answer = kConfiguration;
                break;
            case 3:
                answer = index == 0   ? Bytes{4, 3, 0x09, 0x04}
                         : index == 2 ? stringDescriptor(device.product)
                                      : stringDescriptor(u"Zenmira");
                break;
        }
    } else if (setup.requestType == kVendorIn) {
        vendorRequests_.push_back({setup, {}});
        if (vendorIn_) answer = vendorIn_(setup);
    } else if (setup.requestType == kVendorOut) {
        vendorRequests_.push_back({setup, Bytes(bytes + kSetupSize, bytes + kSetupSize + setup.length)});
        answer = Bytes{};
    }
    if (!answer) {
        completeLocked(urb, -EPIPE, 0);
        return;
    }
    std::uint32_t length = setup.length;
    if (setup.requestType & 0x80) {
        length = static_cast<std::uint32_t>(std::min<std::size_t>(answer->size(), setup.length));
        std::memcpy(bytes + kSetupSize, answer->data(), length);
    }
    // A control URB's actual length does not count the setup packet.
    completeLocked(urb, 0, length);
}

void EmulatedUsbBus::applyBulkModeLocked() {
    switch (bulkMode_) {
        case BulkMode::Complete:
            while (!held_.empty() &&
                   (streamOffset_ >= streamLength_ || static_cast<int>(held_.size()) >= kBulkUrbsHeld)) {
                const Urb urb = held_.front();
                held_.pop_front();
                const auto length = static_cast<std::uint32_t>(urbOf(urb.urb)->buffer_length);
                for (std::uint32_t i = 0; i < length; ++i)
                    urb.buffer->data[i] = streamByte(urb.streamOffset + i);
                completeLocked(urb, 0, length);
                if (streamOffset_ < streamLength_) break;  // one per new URB while the frame goes on
            }
            break;
        case BulkMode::Stall:
        case BulkMode::Unplug: {
            const Urb urb = held_.back();
            held_.pop_back();
            completeLocked(urb, bulkMode_ == BulkMode::Stall ? -EPIPE : -ENODEV, 0);
            break;
        }
        case BulkMode::Hang:
            break;
    }
}

void EmulatedUsbBus::completeLocked(Urb urb, int status, std::uint32_t actualLength) {
    usbdevfs_urb* raw = urbOf(urb.urb);
    raw->status = status;
    raw->actual_length = static_cast<int>(actualLength);
    completed_.push_back(urb);
    updateReadinessLocked();
}

void EmulatedUsbBus::updateReadinessLocked() {
    // One device file per device, but URBs are not told apart by device here: the tests open
    // one device at a time.
    for (const Device& device : devices_) {
        if (completed_.empty())
            fill(device.fifo);
        else
            drain(device.fifo);
    }
}

std::vector<EmulatedUsbBus::ControlRequest> EmulatedUsbBus::vendorRequests() const {
    std::lock_guard lock(mutex_);
    return vendorRequests_;
}

std::vector<EmulatedUsbBus::BulkRequest> EmulatedUsbBus::bulkRequests() const {
    std::lock_guard lock(mutex_);
    return bulkRequests_;
}

std::vector<unsigned> EmulatedUsbBus::clearedHalts() const {
    std::lock_guard lock(mutex_);
    return clearedHalts_;
}

std::vector<unsigned> EmulatedUsbBus::claimedInterfaces() const {
    std::lock_guard lock(mutex_);
    return claimed_;
}

std::vector<unsigned> EmulatedUsbBus::releasedInterfaces() const {
    std::lock_guard lock(mutex_);
    return released_;
}

int EmulatedUsbBus::controlUrbs() const {
    std::lock_guard lock(mutex_);
    return controlUrbs_;
}

int EmulatedUsbBus::discardedUrbs() const {
    std::lock_guard lock(mutex_);
    return discarded_;
}

int EmulatedUsbBus::heldUrbs() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(held_.size());
}

}  // namespace ZmCoreLib_v4::testing_support
