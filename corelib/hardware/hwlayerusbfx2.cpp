#include "hardware/hwlayerusbfx2.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace ZmCoreLib_v4 {

namespace {

constexpr unsigned kRequestCodeShift = 16;
constexpr unsigned kByteMask = 0xFF;
constexpr int kRegisterBytes = 3;
// How long an aborted request may take to come back from the driver.
constexpr std::uint32_t kAbortedRequestWaitMs = 1000;

// Serialises the bulk reads of every camera in the process. Constant-initialised and without a
// destructor to run, so a read running while the process exits still finds it alive, and
// unloading the library leaves no allocation behind.
static_assert(std::is_trivially_destructible_v<std::mutex>);
std::mutex& readLock() {
    static std::mutex lock;
    return lock;
}

void pause(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

HwLayerUsbFx2::HwLayerUsbFx2(int deviceIndex, UsbDriver& driver)
    : ownDevice_(std::make_unique<UsbDevice>(kCameraInterfaceClass, true, driver)),
      device_(*ownDevice_),
      openResult_(device_.Open(deviceIndex)),
      deviceIndex_(deviceIndex) {}

HwLayerUsbFx2::HwLayerUsbFx2(UsbDevice& device)
    : device_(device), openResult_(device.IsOpen()), deviceIndex_(device.deviceIndex()) {}

HwLayerUsbFx2::HwLayerUsbFx2(std::unique_ptr<UsbDevice> device) : HwLayerUsbFx2(*device) {
    ownDevice_ = std::move(device);
}

void HwLayerUsbFx2::vendorTransfer(CCyControlEndPoint::Direction direction, int index, unsigned address,
                                   std::uint8_t* data, int length) {
    CCyControlEndPoint* endpoint = device_.controlEndPoint();
    if (!endpoint || length < 0) return;
    endpoint->target = CCyControlEndPoint::kTargetDevice;
    endpoint->requestType = CCyControlEndPoint::kRequestVendor;
    endpoint->requestCode = static_cast<std::uint8_t>((address >> kRequestCodeShift) & kByteMask);
    endpoint->value = static_cast<std::uint16_t>(address & kByteMask);
    endpoint->index = static_cast<std::uint16_t>(index);
    int offset = 0;
    do {
        std::uint32_t piece = static_cast<std::uint32_t>(std::min(length - offset, kControlPieceSize));
        std::uint8_t* at = data ? data + offset : nullptr;
        // Failures are not reported: a failed register read leaves its bytes as they were.
        if (direction == CCyControlEndPoint::kDirectionFromDevice)
            endpoint->Read(at, piece);
        else
            endpoint->Write(at, piece);
        offset += kControlPieceSize;
    } while (offset < length);
}

void HwLayerUsbFx2::VendorWrite(int index, unsigned address, const void* data, int length) {
    // An OUT transfer only reads the bytes.
    vendorTransfer(CCyControlEndPoint::kDirectionToDevice, index, address,
                   const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(data)), length);
}

void HwLayerUsbFx2::VendorRead(int index, unsigned address, void* data, int length) {
    std::vector<std::uint8_t> discarded;
    if (!data && length > 0) {
        discarded.resize(static_cast<std::size_t>(length));
        data = discarded.data();
    }
    vendorTransfer(CCyControlEndPoint::kDirectionFromDevice, index, address, static_cast<std::uint8_t*>(data),
                   length);
}

void HwLayerUsbFx2::WriteRegister(unsigned address, unsigned value) {
    const std::uint8_t bytes[kRegisterBytes] = {static_cast<std::uint8_t>(value >> 16),
                                                static_cast<std::uint8_t>(value >> 8),
                                                static_cast<std::uint8_t>(value)};
    VendorWrite(0, address, bytes, kRegisterBytes);
}

unsigned HwLayerUsbFx2::ReadRegister(unsigned address) {
    std::uint8_t bytes[kRegisterBytes] = {};
    VendorRead(0, address, bytes, kRegisterBytes);
    return static_cast<unsigned>(bytes[0]) << 16 | static_cast<unsigned>(bytes[1]) << 8 | bytes[2];
}

bool HwLayerUsbFx2::queue(CCyBulkEndPoint& endpoint, Slot& slot, std::uint8_t*& next,
                          std::uint32_t& remaining) {
    const std::uint32_t count = std::min(remaining, kBulkRequestSize);
    slot.event.reset();
    slot.data = next;
    slot.count = count;
    slot.request = endpoint.BeginTransfer(next, count, &slot.overlapped);
    next += count;
    remaining -= count;
    return slot.request != nullptr;
}

bool HwLayerUsbFx2::finishSlots(CCyBulkEndPoint& endpoint, std::uint32_t timeoutMs) {
    bool allFinished = true;
    for (Slot& slot : slots_) {
        if (!slot.request) continue;
        endpoint.WaitForTransfer(&slot.overlapped, timeoutMs);
        std::uint32_t ignored = slot.count;
        endpoint.FinishTransfer(slot.data, ignored, &slot.overlapped, slot.request);
        // A request the driver still runs stays in its slot: its buffer may still be written.
        allFinished = allFinished && !slot.request;
    }
    return allFinished;
}

void HwLayerUsbFx2::recover(CCyBulkEndPoint& endpoint) {
    for (Slot& slot : slots_) slot.event.reset();
    // Abort reports success once the driver has taken it, and the driver's abort ends every
    // request of the endpoint; release them so that none outlives this read.
    endpoint.Abort();
    finishSlots(endpoint, kAbortedRequestWaitMs);
    pause(kFailurePauseMs);
    int attempt = 1;
    while (!endpoint.ResetPipe() && attempt < kRecoveryAttempts) ++attempt;
    pause(kFailurePauseMs);
}

bool HwLayerUsbFx2::ReadData(void* buffer, const int* length, int timeoutMs) {
    return readData(buffer, length, timeoutMs, nullptr) == BulkRead::kComplete;
}

BulkRead HwLayerUsbFx2::readDataOverlapping(void* buffer, const int* length, int timeoutMs,
                                            const std::function<void()>& whileLastRequestRuns) {
    return readData(buffer, length, timeoutMs, &whileLastRequestRuns);
}

BulkRead HwLayerUsbFx2::readData(void* buffer, const int* length, int timeoutMs,
                                 const std::function<void()>* whileLastRequestRuns) {
    CCyBulkEndPoint* endpoint = device_.bulkInEndPoint();
    if (!endpoint || !buffer || !length || *length < 0) return BulkRead::kFailed;
    // Requests a driver failed to end after an abort still own their buffers.
    if (!finishSlots(*endpoint, 0)) return BulkRead::kFailed;
    const BulkRead read =
        stream(*endpoint, static_cast<std::uint8_t*>(buffer), static_cast<std::uint32_t>(*length),
               static_cast<std::uint32_t>(std::max(timeoutMs, 0)), whileLastRequestRuns);
    // Without the read lock: the other cameras read on while this one pauses and resets its pipe.
    if (read != BulkRead::kComplete) recover(*endpoint);
    return read;
}

BulkRead HwLayerUsbFx2::stream(CCyBulkEndPoint& endpoint, std::uint8_t* buffer, std::uint32_t wanted,
                               std::uint32_t timeoutMs, const std::function<void()>* whileLastRequestRuns) {
    // Waits without a bound of its own: the holder's read is bounded.
    std::lock_guard lock(readLock());
    endpoint.setTimeoutMs(timeoutMs);
    std::uint8_t* next = buffer;
    std::uint32_t remaining = wanted;
    std::uint64_t received = 0;
    endpoint.SetTransferSize(kBulkRequestSize);

    // The first request goes out even for an empty read.
    for (int i = 0; i < kRequestsInFlight && (i == 0 || remaining > 0); ++i)
        if (!queue(endpoint, slots_[i], next, remaining)) return BulkRead::kFailed;

    const auto lastRequestRuns = [this] {
        return std::ranges::count_if(slots_, [](const Slot& slot) { return slot.request != nullptr; }) == 1;
    };
    for (int i = 0;; i = (i + 1) % kRequestsInFlight) {
        if (whileLastRequestRuns && remaining == 0 && lastRequestRuns()) {
            (*whileLastRequestRuns)();
            whileLastRequestRuns = nullptr;
        }
        Slot& slot = slots_[i];
        endpoint.WaitForTransfer(&slot.overlapped, timeoutMs);
        std::uint32_t bytes = slot.count;
        if (!endpoint.FinishTransfer(slot.data, bytes, &slot.overlapped, slot.request))
            return BulkRead::kFailed;
        // A request that ends early is the camera's end of the frame: what the requests after it
        // would receive belongs to no frame.
        if (bytes < slot.count) return BulkRead::kShort;
        received += bytes;
        if (remaining > 0 && !queue(endpoint, slot, next, remaining)) return BulkRead::kFailed;
        if (received >= wanted) return BulkRead::kComplete;
    }
}

}  // namespace ZmCoreLib_v4
