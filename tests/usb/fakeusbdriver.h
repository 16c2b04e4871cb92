// A driver for tests: devices made of descriptor bytes, a log of every I/O-control request a
// handle receives, and a bulk IN stream whose requests stay in flight until the test's policy
// completes them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hardware/driver/usbdriver.h"

namespace ZmCoreLib_v4::testing_support {

using Bytes = std::vector<std::uint8_t>;

// Descriptor builders. The default device is a high-speed camera: vendor 0xAB10, one
// configuration with interface 0 holding bulk IN 0x86 and bulk OUT 0x02 of 512 bytes.
Bytes deviceDescriptor(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usbVersion = 0x0200,
                       std::uint8_t maxPacketSize0 = 64, std::uint8_t configurations = 1);
Bytes endpointDescriptor(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize);
Bytes interfaceDescriptor(std::uint8_t number, std::uint8_t alternateSetting, std::uint8_t endpointCount);
// A configuration descriptor head with the right total length followed by `body`.
Bytes configurationDescriptor(const Bytes& body, std::uint8_t interfaceCount = 1);
Bytes stringDescriptor(std::u16string_view text);
Bytes languageDescriptor(const std::vector<std::uint16_t>& languageIds);
Bytes operator+(Bytes first, const Bytes& second);

inline constexpr std::uint8_t kBulkInAddress = 0x86;
inline constexpr std::uint8_t kBulkOutAddress = 0x02;

struct FakeUsbDevice {
    std::string path = "fake-1";
    std::string friendlyName = "Fake camera";
    Bytes device = deviceDescriptor(0xAB10, 0x2280);
    std::vector<Bytes> configurations{configurationDescriptor(interfaceDescriptor(0, 0, 2) +
                                                              endpointDescriptor(kBulkInAddress, 2, 512) +
                                                              endpointDescriptor(kBulkOutAddress, 2, 512))};
    Bytes bos;  // none when empty
    // String descriptors by index (0: the language list).
    std::map<std::uint8_t, Bytes> strings;
};

// One request as the driver received it.
struct RecordedRequest {
    std::uint32_t code = 0;
    Bytes input;           // the input buffer as it came (for transfers: the record and its data)
    RequestRecord record;  // decoded when the input holds a record
    std::uint8_t* output = nullptr;
    std::uint32_t outputLength = 0;
    bool overlapped = false;
    int inFlightAtStart = 0;  // bulk requests: in flight including this one
};

class FakeUsbDriver : public UsbDriver {
public:
    // How bulk IN requests are answered.
    enum class BulkMode {
        Complete,  // from the stream; held back until four are in flight or the stream is asked for
        Stall,     // every request fails with a stall
        Hang,      // nothing completes until aborted
        Short,     // each request delivers half of what it asked
    };

    std::vector<FakeUsbDevice> devices;

    // Vendor IN requests: the bytes to answer with (fewer than asked is a short answer). Unset:
    // the request fails.
    std::function<std::optional<Bytes>(const RequestRecord&)> vendorIn;
    // Control requests are left pending until aborted.
    bool hangControl = false;
    BulkMode bulkMode = BulkMode::Complete;
    // Starts a bulk stream of `length` bytes: the total the test will ask for. The stream byte at
    // offset i is streamByte(i).
    void startStream(std::uint64_t length);
    static std::uint8_t streamByte(std::uint64_t offset) {
        return static_cast<std::uint8_t>(offset * 7 + offset / 251);
    }
    // Pipe resets fail this many times before one succeeds.
    int failingPipeResets = 0;
    // Sees every request with its code before the driver carries it out, on the requesting thread
    // and without the driver's lock: it may block that thread to hold a caller inside a request.
    // Set it before any handle is in use.
    std::function<void(std::uint32_t code)> onRequest;

    int deviceCount() override;
    bool deviceEntry(int index, UsbDeviceEntry* entry) override;
    std::unique_ptr<UsbDriverHandle> open(int index) override;
    // `devices` changes only when the test changes it, so there is nothing to tell.
    void watch(std::function<void()>) override {}

    // Everything received so far, by every handle, in order.
    std::vector<RecordedRequest> log() const;
    std::vector<RecordedRequest> log(std::uint32_t code) const;
    void clearLog();
    int opens() const;
    // Bulk requests accepted and not completed yet.
    int inFlight() const;

private:
    class Handle;
    struct Pending {
        std::uint8_t* record;
        std::uint8_t* data;
        std::uint32_t length;
        Overlapped* overlapped;
        std::uint64_t streamOffset;
        bool control;
    };

    bool control(const FakeUsbDevice& device, std::uint8_t* buffer, std::uint32_t length,
                 std::uint32_t* returned, Overlapped* overlapped);
    bool bulk(std::uint8_t* record, std::uint8_t* data, std::uint32_t length, std::uint32_t* returned,
              Overlapped* overlapped);
    // Completes pending_[which]; a bulk request receives `bytes` bytes of the stream.
    void completeLocked(std::size_t which, int error, std::uint32_t bytes, std::uint32_t usbdStatus = 0);
    void abortLocked();

    mutable std::mutex mutex_;  // guards everything below
    std::vector<RecordedRequest> log_;
    std::vector<Pending> pending_;  // bulk and control requests in flight, oldest first
    std::uint64_t streamLength_ = 0;
    std::uint64_t streamOffset_ = 0;  // of the next bulk request
    int opens_ = 0;
};

}  // namespace ZmCoreLib_v4::testing_support
