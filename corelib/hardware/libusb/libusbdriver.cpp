#include "hardware/libusb/libusbdriver.h"

#include <libusb.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <utility>

#include "hardware/libusb/deviceusers.h"
#include "hardware/libusb/libusberrors.h"
#include "hardware/libusb/libusbhandle.h"
#include "hardware/usb/descriptors.h"
#include "platform/error.h"
#include "platform/text.h"

namespace ZmCoreLib_v4 {

namespace {

// The event thread's longest sleep: it is woken at once to stop, so this only bounds a stop
// whose wake-up were lost.
constexpr int kEventWaitS = 1;
// Shown by ps and debuggers (at most 15 characters).
constexpr const char* kEventThreadName = "zm-usb-events";
// Reading a product string for a device's name.
constexpr unsigned kNameReadTimeoutMs = 500;
constexpr int kMaxPortDepth = 7;  // USB allows at most seven tiers
constexpr int kStringBufferSize = 256;

struct Location {
    int bus = 0;
    std::vector<std::uint8_t> ports;
    std::string text(char tierSeparator) const {
        std::string joined;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (i > 0) joined += tierSeparator;
            joined += std::to_string(ports[i]);
        }
        return joined;
    }
};

Location locationOf(libusb_device* device) {
    Location location;
    location.bus = libusb_get_bus_number(device);
    std::uint8_t ports[kMaxPortDepth];
    const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
    if (depth > 0) location.ports.assign(ports, ports + depth);
    return location;
}

// The product string of an open device in its first language (US English when offered).
std::string productString(libusb_device_handle* handle, std::uint8_t productIndex) {
    if (productIndex == 0) return {};
    unsigned char bytes[kStringBufferSize];
    int length = libusb_get_string_descriptor(handle, 0, 0, bytes, sizeof bytes);
    if (length < 0) return {};
    const std::uint16_t language =
        usb::chooseLanguageId(usb::parseLanguageIds({bytes, static_cast<std::size_t>(length)}));
    length = libusb_control_transfer(handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                     static_cast<std::uint16_t>(LIBUSB_DT_STRING << 8 | productIndex),
                                     language, bytes, sizeof bytes, kNameReadTimeoutMs);
    if (length < 0) return {};
    return platform::toUtf8(usb::parseStringDescriptor({bytes, static_cast<std::size_t>(length)}));
}

// "<product> (bus 1, port 2.4)", or the vendor and product ids when the device has no product
// string or cannot be opened.
std::string friendlyName(libusb_device* device, libusb_device_handle* handle) {
    const Location location = locationOf(device);
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    std::string product = handle ? productString(handle, descriptor.iProduct) : std::string();
    if (product.empty()) {
        char ids[32];
        std::snprintf(ids, sizeof ids, "USB camera %04X:%04X", descriptor.idVendor, descriptor.idProduct);
        product = ids;
    }
    std::string name =
        product + " (bus " + std::to_string(location.bus) + ", port " + location.text('.') + ")";
    if (name.size() >= kDriverNameSize) name.resize(kDriverNameSize - 1);
    return name;
}

// The interface numbers of the active configuration; interface 0 when it cannot be read.
std::vector<int> interfacesOf(libusb_device* device) {
    libusb_config_descriptor* configuration = nullptr;
    if (libusb_get_active_config_descriptor(device, &configuration) != LIBUSB_SUCCESS) return {0};
    std::vector<int> numbers;
    for (int i = 0; i < configuration->bNumInterfaces; ++i) {
        const libusb_interface& interface = configuration->interface[i];
        if (interface.num_altsetting > 0) numbers.push_back(interface.altsetting[0].bInterfaceNumber);
    }
    libusb_free_config_descriptor(configuration);
    return numbers;
}

// "/dev/bus/usb/BBB/DDD": the device's file, which every program using it holds open.
std::string deviceFileOf(libusb_device* device) {
    char file[32];
    std::snprintf(file, sizeof file, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    return file;
}

std::map<std::uint8_t, LibusbHandle::EndpointInfo> endpointsOf(libusb_device* device) {
    std::map<std::uint8_t, LibusbHandle::EndpointInfo> endpoints;
    libusb_config_descriptor* configuration = nullptr;
    if (libusb_get_active_config_descriptor(device, &configuration) != LIBUSB_SUCCESS) return endpoints;
    for (int i = 0; i < configuration->bNumInterfaces; ++i) {
        const libusb_interface& interface = configuration->interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                endpoints.emplace(endpoint.bEndpointAddress,
                                  LibusbHandle::EndpointInfo{static_cast<std::uint8_t>(
                                      endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK)});
            }
        }
    }
    libusb_free_config_descriptor(configuration);
    return endpoints;
}

}  // namespace

LibusbDriver::LibusbDriver() {
    const int status = libusb_init(&context_);
    if (status != LIBUSB_SUCCESS) {
        std::fprintf(stderr,
                     "USB cameras cannot be reached: libusb failed to start (%s). Check that the USB device "
                     "files under /dev/bus/usb exist.\n",
                     libusb_strerror(status));
        context_ = nullptr;
        return;
    }
    eventThread_ = std::thread(&LibusbDriver::handleEvents, this);
}

LibusbDriver::~LibusbDriver() {
    if (!context_) return;
    stopping_.store(true);
    libusb_interrupt_event_handler(context_);
    eventThread_.join();
    if (hotplugHandle_) libusb_hotplug_deregister_callback(context_, *hotplugHandle_);
    {
        std::lock_guard lock(mutex_);
        releaseListLocked();
    }
    libusb_exit(context_);
}

void LibusbDriver::handleEvents() {
    pthread_setname_np(pthread_self(), kEventThreadName);
    using Clock = std::chrono::steady_clock;
    // While polling: the vendor's devices as last compared, and when to compare next.
    std::optional<std::vector<std::pair<int, int>>> polled;
    Clock::time_point nextPoll;
    while (!stopping_.load()) {
        const bool polling = polling_.load();
        timeval wait{kEventWaitS, 0};
        if (polling) {
            wait = {0, static_cast<suseconds_t>(
                           std::chrono::duration_cast<std::chrono::microseconds>(kPollInterval).count())};
        }
        libusb_handle_events_timeout_completed(context_, &wait, nullptr);
        bool changed = hotplugSeen_.exchange(false);
        if (!polling) {
            polled.reset();
        } else if (const auto now = Clock::now(); !polled || now >= nextPoll) {
            nextPoll = now + kPollInterval;
            auto present = vendorDevicesOnBus();
            changed = changed || (polled && present != *polled);
            polled = std::move(present);
        }
        if (changed) tellWatcher();
    }
}

int LibusbDriver::onHotplug(libusb_context* context, libusb_device*, int, void* driver) {
    static_cast<LibusbDriver*>(driver)->hotplugSeen_.store(true);
    // Another thread's synchronous transfer may be handling events: wake the event thread to tell.
    libusb_interrupt_event_handler(context);
    return 0;  // stay registered
}

void LibusbDriver::tellWatcher() {
    std::lock_guard lock(watchMutex_);
    if (watcher_) watcher_();
}

std::vector<std::pair<int, int>> LibusbDriver::vendorDevicesOnBus() {
    std::vector<std::pair<int, int>> present;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS &&
            descriptor.idVendor == kCameraVendorId) {
            present.emplace_back(libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]));
        }
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    std::sort(present.begin(), present.end());
    return present;
}

void LibusbDriver::watch(std::function<void()> changed) {
    std::lock_guard lock(watchMutex_);
    const bool wasWatching = static_cast<bool>(watcher_);
    watcher_ = std::move(changed);
    if (!context_ || wasWatching == static_cast<bool>(watcher_)) return;
    if (!watcher_) {
        if (hotplugHandle_)
            libusb_hotplug_deregister_callback(context_, *std::exchange(hotplugHandle_, std::nullopt));
        polling_.store(false);
        return;
    }
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        libusb_hotplug_callback_handle handle = 0;
        const auto callback = [](libusb_context* context, libusb_device* device, libusb_hotplug_event event,
                                 void* driver) { return onHotplug(context, device, event, driver); };
        if (libusb_hotplug_register_callback(
                context_,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                LIBUSB_HOTPLUG_NO_FLAGS, kCameraVendorId, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                callback, this, &handle) == LIBUSB_SUCCESS) {
            hotplugHandle_ = handle;
            return;
        }
    }
    polling_.store(true);
    libusb_interrupt_event_handler(context_);  // to wait no longer than a poll interval from now on
}

void LibusbDriver::releaseListLocked() {
    for (const Listed& listed : devices_) libusb_unref_device(listed.device);
    devices_.clear();
}

int LibusbDriver::deviceCount() {
    std::lock_guard lock(mutex_);
    releaseListLocked();
    if (!context_) return 0;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) {
        platform::setLastError(errnoFromLibusb(static_cast<int>(count)));
        return 0;
    }
    std::vector<std::pair<Location, Listed>> cameras;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS ||
            descriptor.idVendor != kCameraVendorId)
            continue;
        const Location location = locationOf(list[i]);
        cameras.push_back(
            {location,
             {libusb_ref_device(list[i]), std::to_string(location.bus) + "-" + location.text('.')}});
    }
    libusb_free_device_list(list, 1);
    std::sort(cameras.begin(), cameras.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first.bus, a.first.ports) < std::tie(b.first.bus, b.first.ports);
    });
    for (auto& camera : cameras) devices_.push_back(camera.second);
    return static_cast<int>(devices_.size());
}

bool LibusbDriver::deviceEntry(int index, UsbDeviceEntry* entry) {
    libusb_device* device = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= static_cast<int>(devices_.size())) {
            platform::setLastError(ENODEV);
            return false;
        }
        device = libusb_ref_device(devices_[index].device);
        entry->path = devices_[index].path;
    }
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != LIBUSB_SUCCESS) handle = nullptr;
    entry->friendlyName = friendlyName(device, handle);
    if (handle) libusb_close(handle);
    entry->users = deviceUsers(deviceFileOf(device), entry->path);
    libusb_unref_device(device);
    return true;
}

std::unique_ptr<UsbDriverHandle> LibusbDriver::open(int index) {
    libusb_device* device = nullptr;
    std::string path;
    {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= static_cast<int>(devices_.size())) {
            platform::setLastError(ENODEV);
            return nullptr;
        }
        device = libusb_ref_device(devices_[index].device);
        path = devices_[index].path;
    }
    std::unique_ptr<UsbDriverHandle> opened;
    if (std::shared_ptr<ClaimedDevice> claimed = claim(device)) {
        // Read only now: a camera in use elsewhere is sent nothing.
        std::string name = friendlyName(device, claimed->handle());
        opened =
            std::make_unique<LibusbHandle>(std::move(claimed), path, std::move(name), endpointsOf(device));
    }
    libusb_unref_device(device);
    return opened;
}

std::shared_ptr<ClaimedDevice> LibusbDriver::claim(libusb_device* device) {
    std::unique_lock lock(claimsMutex_);
    for (auto known = claims_.find(device); known != claims_.end(); known = claims_.find(device)) {
        if (std::shared_ptr<ClaimedDevice> shared = known->second.lock()) return shared;
        // Its last handle is letting it go right now: claim it anew once that is done.
        claimReleased_.wait(lock);
    }

    libusb_device_handle* handle = nullptr;
    int status = libusb_open(device, &handle);
    if (status != LIBUSB_SUCCESS) {
        platform::setLastError(errnoFromLibusb(status));
        return nullptr;
    }
    std::vector<int> claimed;
    for (int number : interfacesOf(device)) {
        status = libusb_claim_interface(handle, number);
        if (status != LIBUSB_SUCCESS) {
            for (int done : claimed) libusb_release_interface(handle, done);
            libusb_close(handle);
            platform::setLastError(errnoFromLibusb(status));
            return nullptr;
        }
        claimed.push_back(number);
    }
    std::shared_ptr<ClaimedDevice> made(new ClaimedDevice(handle, std::move(claimed)),
                                        [this, device](ClaimedDevice* released) {
                                            std::lock_guard releasing(claimsMutex_);
                                            delete released;
                                            claims_.erase(device);
                                            claimReleased_.notify_all();
                                        });
    claims_[device] = made;
    return made;
}

std::unique_ptr<UsbDriver> makeLibusbDriver() {
    return std::make_unique<LibusbDriver>();
}

}  // namespace ZmCoreLib_v4
