#include "hardware/libusb/libusbhandle.h"

#include <libusb.h>
#include <sys/utsname.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "hardware/libusb/libusberrors.h"
#include "platform/error.h"
#include "platform/event.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr std::uint32_t kMsPerSecond = 1000;
// A synchronous transfer of the boundary (no Overlapped) that names no time-out of its own.
constexpr unsigned kSyncTransferTimeoutMs = 10000;
// How long cancelled transfers may take to come back from the event thread.
constexpr std::uint32_t kCancelWaitMs = 2000;
// Margin over a synchronous transfer's own time-out before the handle cancels it itself.
constexpr std::uint32_t kSyncWaitMarginMs = 1000;
constexpr std::uint32_t kPowerStateOn = 1;  // the only power state a camera has here
constexpr std::uint32_t kTransferSizeRequestSize = 5;
constexpr std::uint32_t kDefaultTransferSize = 65536;

bool fail(int error) {
    platform::setLastError(error);
    return false;
}

// A request that finished on the caller's thread; with an Overlapped it is reported the way an
// overlapped request that completed at once is: true, Overlapped finished, event set.
bool finished(Overlapped* overlapped, std::uint32_t bytes, std::uint32_t* returned) {
    *returned = bytes;
    if (overlapped) {
        overlapped->begin();
        overlapped->complete(0, bytes);
    }
    return true;
}

bool writeValue(std::uint8_t* out, std::uint32_t outLength, std::uint32_t size, std::uint32_t value,
                Overlapped* overlapped, std::uint32_t* returned) {
    if (!out || outLength < size) return fail(EINVAL);
    std::uint8_t bytes[4];
    littleendian::put32(bytes, value);
    std::memcpy(out, bytes, size);
    return finished(overlapped, size, returned);
}

// Kernel release as major << 16 | minor << 8 | patch: the USB stack's version on Linux.
std::uint32_t kernelVersion() {
    utsname name{};
    unsigned major = 0, minor = 0, patch = 0;
    if (uname(&name) == 0) std::sscanf(name.release, "%u.%u.%u", &major, &minor, &patch);
    return (major & 0xFF) << 16 | (minor & 0xFF) << 8 | (patch & 0xFF);
}

std::uint32_t libusbVersion() {
    const libusb_version* version = libusb_get_version();
    return static_cast<std::uint32_t>(version->major) << 16 |
           static_cast<std::uint32_t>(version->minor) << 8 | version->micro;
}

struct SyncCompletion {
    platform::Event event{platform::ResetMode::Manual};
    Overlapped overlapped{&event};
};

}  // namespace

// One submitted transfer. Freed by the completion callback.
struct LibusbHandle::Transfer {
    LibusbHandle* owner = nullptr;
    libusb_transfer* transfer = nullptr;
    Overlapped* overlapped = nullptr;
    std::uint8_t* record = nullptr;  // the caller's request record: statuses are written back
    std::uint32_t dataOffset = 0;    // added to the bytes reported
    std::uint8_t endpoint = 0;
    std::uint8_t* controlData = nullptr;      // where IN data of a control transfer goes
    std::vector<std::uint8_t> controlBuffer;  // setup packet and data of a control transfer
};

ClaimedDevice::~ClaimedDevice() {
    for (int interfaceNumber : interfaces_) libusb_release_interface(handle_, interfaceNumber);
    libusb_close(handle_);
}

LibusbHandle::LibusbHandle(std::shared_ptr<ClaimedDevice> device, std::string path, std::string friendlyName,
                           std::map<std::uint8_t, EndpointInfo> endpoints)
    : device_(std::move(device)),
      handle_(device_->handle()),
      path_(std::move(path)),
      friendlyName_(std::move(friendlyName)),
      endpoints_(std::move(endpoints)) {}

LibusbHandle::~LibusbHandle() {
    if (!cancelAndWait([](const Transfer*) { return true; }, kCancelWaitMs)) {
        // The transfers still reference the device handle; closing it would free what they use,
        // so the device stays open (and claimed) for the rest of the process.
        std::fprintf(stderr, "USB device %s: transfers did not end; the device is left open\n",
                     path_.c_str());
        static_cast<void>(new std::shared_ptr<ClaimedDevice>(device_));
    }
}

template <typename Predicate>
bool LibusbHandle::cancelAndWait(Predicate selected, std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    // Cancelling under the lock keeps the completion callback, which takes the lock before it
    // forgets a transfer, from freeing one of them meanwhile.
    for (Transfer* transfer : inFlight_)
        if (selected(transfer)) libusb_cancel_transfer(transfer->transfer);
    return transferDone_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Transfer* transfer : inFlight_)
            if (selected(transfer)) return false;
        return true;
    });
}

void LibusbHandle::onTransferDone(libusb_transfer* libusbTransfer) {
    auto* transfer = static_cast<Transfer*>(libusbTransfer->user_data);
    const TransferOutcome outcome = transferOutcome(libusbTransfer->status);
    const auto actual = static_cast<std::uint32_t>(std::max(libusbTransfer->actual_length, 0));
    if (transfer->controlData && (transfer->controlBuffer[0] & LIBUSB_ENDPOINT_IN))
        std::memcpy(transfer->controlData, transfer->controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE,
                    actual);
    RequestRecord::writeStatus(transfer->record, static_cast<std::uint32_t>(outcome.error),
                               outcome.usbdStatus);
    LibusbHandle* owner = transfer->owner;
    {
        std::lock_guard lock(owner->mutex_);
        // Forgotten before it is freed, so that no abort cancels a freed transfer; completed under
        // the lock, so that a handle waiting for its transfers sees this one gone only after its
        // caller has been told. The handle cannot be closed before this callback returns: closing
        // takes libusb's event lock, which the thread running this callback holds.
        owner->inFlight_.erase(transfer);
        transfer->overlapped->complete(outcome.error, transfer->dataOffset + actual);
        owner->transferDone_.notify_all();
    }
    libusb_free_transfer(libusbTransfer);
    delete transfer;
}

bool LibusbHandle::submit(Transfer* transfer, std::uint32_t* returned, Overlapped* overlapped) {
    // A synchronous request waits on an Overlapped of its own, on the heap so that it can be
    // left to a transfer that does not come back.
    auto sync = std::make_unique<SyncCompletion>();
    transfer->owner = this;
    transfer->overlapped = overlapped ? overlapped : &sync->overlapped;
    transfer->transfer->user_data = transfer;
    transfer->transfer->callback = &LibusbHandle::onTransferDone;
    {
        std::lock_guard lock(mutex_);
        transfer->overlapped->begin();
        const int status = libusb_submit_transfer(transfer->transfer);
        if (status != LIBUSB_SUCCESS) {
            libusb_free_transfer(transfer->transfer);
            delete transfer;
            return fail(errnoFromLibusb(status));
        }
        inFlight_.insert(transfer);
    }
    if (overlapped) return fail(kErrorIoPending);

    const std::uint32_t waitMs = transfer->transfer->timeout + kSyncWaitMarginMs;
    if (sync->event.wait(waitMs) != platform::WaitResult::Signalled &&
        !cancelAndWait([&](const Transfer* t) { return t == transfer; }, kCancelWaitMs)) {
        std::fprintf(stderr, "USB device %s: a transfer cannot be cancelled\n", path_.c_str());
        sync.release();
        return fail(ETIMEDOUT);
    }
    return sync->overlapped.result(returned);
}

bool LibusbHandle::controlTransfer(std::uint8_t* buffer, std::uint32_t length, std::uint32_t* returned,
                                   Overlapped* overlapped) {
    if (!buffer || length < RequestRecord::kSize) return fail(EINVAL);
    const RequestRecord record = RequestRecord::decode(buffer);
    if (record.dataOffset < RequestRecord::kSize || std::uint64_t{record.dataOffset} + record.length > length)
        return fail(EINVAL);

    auto* transfer = new Transfer;
    transfer->transfer = libusb_alloc_transfer(0);
    transfer->record = buffer;
    transfer->dataOffset = record.dataOffset;
    transfer->controlData = buffer + record.dataOffset;
    transfer->controlBuffer.resize(LIBUSB_CONTROL_SETUP_SIZE + record.length);
    libusb_fill_control_setup(transfer->controlBuffer.data(), record.requestType, record.request,
                              record.value, record.index, record.length);
    if (!(record.requestType & LIBUSB_ENDPOINT_IN) && record.length > 0)
        std::memcpy(transfer->controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, transfer->controlData,
                    record.length);
    // A record without a time-out is bounded by its caller's wait and abort; a synchronous one
    // by the driver.
    unsigned timeoutMs = record.timeoutS * kMsPerSecond;
    if (timeoutMs == 0 && !overlapped) timeoutMs = kSyncTransferTimeoutMs;
    libusb_fill_control_transfer(transfer->transfer, handle_, transfer->controlBuffer.data(), nullptr,
                                 nullptr, timeoutMs);
    return submit(transfer, returned, overlapped);
}

bool LibusbHandle::dataTransfer(std::uint8_t* record, std::uint8_t* data, std::uint32_t length,
                                std::uint32_t dataOffset, std::uint32_t* returned, Overlapped* overlapped) {
    const std::uint8_t address = record[RequestRecord::kEndpointOffset];
    const auto found = endpoints_.find(address);
    if (found == endpoints_.end() || length > INT_MAX || (length > 0 && !data)) return fail(EINVAL);

    auto* transfer = new Transfer;
    transfer->transfer = libusb_alloc_transfer(0);
    transfer->record = record;
    transfer->dataOffset = dataOffset;
    transfer->endpoint = address;
    const unsigned timeoutMs = overlapped ? 0 : kSyncTransferTimeoutMs;
    switch (found->second.transferType) {
        case LIBUSB_TRANSFER_TYPE_BULK:
            libusb_fill_bulk_transfer(transfer->transfer, handle_, address, data, static_cast<int>(length),
                                      nullptr, nullptr, timeoutMs);
            break;
        case LIBUSB_TRANSFER_TYPE_INTERRUPT:
            libusb_fill_interrupt_transfer(transfer->transfer, handle_, address, data,
                                           static_cast<int>(length), nullptr, nullptr, timeoutMs);
            break;
        default:  // isochronous streams are not used by the cameras
            libusb_free_transfer(transfer->transfer);
            delete transfer;
            return fail(ENOTSUP);
    }
    return submit(transfer, returned, overlapped);
}

bool LibusbHandle::abortEndpoint(std::uint8_t address) {
    if (cancelAndWait([address](const Transfer* t) { return t->endpoint == address; }, kCancelWaitMs))
        return true;
    return fail(ETIMEDOUT);
}

bool LibusbHandle::resetPipe(std::uint8_t address) {
    const int status = libusb_clear_halt(handle_, address);
    return status == LIBUSB_SUCCESS || fail(errnoFromLibusb(status));
}

bool LibusbHandle::selectAlternateSetting(std::uint8_t alternateSetting) {
    const int status = libusb_set_interface_alt_setting(handle_, 0, alternateSetting);
    if (status != LIBUSB_SUCCESS) return fail(errnoFromLibusb(status));
    std::lock_guard lock(mutex_);
    alternateSetting_ = alternateSetting;
    return true;
}

bool LibusbHandle::resetDevice() {
    const int status = libusb_reset_device(handle_);
    // A camera whose firmware changed its identity re-attaches as a new device: that is what
    // cycling its port is for.
    return status == LIBUSB_SUCCESS || status == LIBUSB_ERROR_NOT_FOUND || fail(errnoFromLibusb(status));
}

bool LibusbHandle::ioControl(std::uint32_t code, void* in, std::uint32_t inLength, void* out,
                             std::uint32_t outLength, std::uint32_t* bytesReturned, Overlapped* overlapped) {
    auto* input = static_cast<std::uint8_t*>(in);
    auto* output = static_cast<std::uint8_t*>(out);
    std::uint32_t ignored = 0;
    std::uint32_t* returned = bytesReturned ? bytesReturned : &ignored;
    *returned = 0;
    const bool addressGiven = input && inLength >= 1;

    switch (code) {
        case ioctl::kControlTransfer:
            return controlTransfer(input, inLength, returned, overlapped);
        case ioctl::kBufferedTransfer: {
            if (!input || inLength < RequestRecord::kSize) return fail(EINVAL);
            const RequestRecord record = RequestRecord::decode(input);
            if (record.dataOffset < RequestRecord::kSize ||
                std::uint64_t{record.dataOffset} + record.dataLength > inLength)
                return fail(EINVAL);
            return dataTransfer(input, input + record.dataOffset, record.dataLength, record.dataOffset,
                                returned, overlapped);
        }
        case ioctl::kDirectTransfer:
            if (!input || inLength < RequestRecord::kSize) return fail(EINVAL);
            return dataTransfer(input, output, outLength, 0, returned, overlapped);
        case ioctl::kAbortPipe:
            return addressGiven ? abortEndpoint(input[0]) && finished(overlapped, 0, returned) : fail(EINVAL);
        case ioctl::kResetPipe:
            return addressGiven ? resetPipe(input[0]) && finished(overlapped, 0, returned) : fail(EINVAL);
        case ioctl::kCyclePort:
        case ioctl::kResetParentPort:
            return resetDevice() && finished(overlapped, 0, returned);
        case ioctl::kSelectAlternateSetting:
            return addressGiven ? selectAlternateSetting(input[0]) && finished(overlapped, 1, returned)
                                : fail(EINVAL);
        case ioctl::kGetAlternateSetting: {
            std::lock_guard lock(mutex_);
            return writeValue(output, outLength, 1, alternateSetting_, overlapped, returned);
        }
        case ioctl::kGetDeviceAddress:
            return writeValue(output, outLength, 1, libusb_get_device_address(libusb_get_device(handle_)),
                              overlapped, returned);
        case ioctl::kGetDriverVersion:
            return writeValue(output, outLength, 4, libusbVersion(), overlapped, returned);
        case ioctl::kGetUsbStackVersion:
            return writeValue(output, outLength, 4, kernelVersion(), overlapped, returned);
        case ioctl::kGetPowerState:
            return writeValue(output, outLength, 4, kPowerStateOn, overlapped, returned);
        case ioctl::kSetPowerState:
            if (!input || inLength < 4) return fail(EINVAL);
            return littleendian::get32(input) == kPowerStateOn ? finished(overlapped, 4, returned)
                                                               : fail(ENOTSUP);
        case ioctl::kGetBusSpeed: {
            const int speed = libusb_get_device_speed(libusb_get_device(handle_));
            const std::uint32_t value = speed >= LIBUSB_SPEED_SUPER  ? kSuperSpeed
                                        : speed == LIBUSB_SPEED_HIGH ? kHighSpeed
                                                                     : kFullSpeed;
            return writeValue(output, outLength, 4, value, overlapped, returned);
        }
        case ioctl::kGetTransferSize:
        case ioctl::kSetTransferSize: {
            if (!input || inLength < kTransferSizeRequestSize || !output ||
                outLength < kTransferSizeRequestSize)
                return fail(EINVAL);
            std::lock_guard lock(mutex_);
            // Kept for the caller to read back; usbfs splits large transfers by itself.
            if (code == ioctl::kSetTransferSize) transferSizes_[input[0]] = littleendian::get32(input + 1);
            const auto size = transferSizes_.find(input[0]);
            output[0] = input[0];
            littleendian::put32(output + 1,
                                size == transferSizes_.end() ? kDefaultTransferSize : size->second);
            return finished(overlapped, kTransferSizeRequestSize, returned);
        }
        case ioctl::kGetDeviceName:
        case ioctl::kGetFriendlyName: {
            if (!output || outLength < kDriverNameSize) return fail(EINVAL);
            const std::string& name = code == ioctl::kGetDeviceName ? path_ : friendlyName_;
            std::memset(output, 0, kDriverNameSize);
            std::memcpy(output, name.data(), std::min(name.size(), kDriverNameSize - 1));
            return finished(overlapped, kDriverNameSize, returned);
        }
        default:
            return fail(ENOTTY);
    }
}

}  // namespace ZmCoreLib_v4
