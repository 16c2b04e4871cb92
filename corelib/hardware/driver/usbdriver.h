// The boundary between the USB access layer and whatever carries its requests to a camera.
//
// A driver lists the devices of the camera interface class and opens handles on them. A handle
// is driven entirely through I/O-control requests: a code from `ioctl` below and byte buffers
// whose layout is fixed (the 38-byte request record for transfers, small integers for the rest).
// Nothing above UsbDevice knows which driver runs: the libusb driver talks to real cameras, the
// simulator driver to simulated ones.
//
// Errors are errno-valued codes: an operation that fails returns false (or 0 / null) and leaves
// the code in platform::lastError() of the calling thread.
#pragma once

#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/event.h"

namespace ZmCoreLib_v4 {

// Identifier of a device interface class, in the textual order of its 16 bytes.
struct InterfaceClassId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;
    friend bool operator==(const InterfaceClassId&, const InterfaceClassId&) = default;
};

// The USB vendor id of every camera, in any identity it shows (boot, probe or final).
inline constexpr std::uint16_t kCameraVendorId = 0xAB10;

// {AE18AA60-7F6A-11D4-97DD-00010229B959}: the class every camera of the vendor is published in.
inline constexpr InterfaceClassId kCameraInterfaceClass{
    0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

// I/O-control codes a handle accepts, with the input and output each expects. "in N" means the
// input buffer holds N bytes, "out N" that the output buffer receives N bytes.
namespace ioctl {
inline constexpr std::uint32_t kGetDriverVersion = 0x220000;        // out 4
inline constexpr std::uint32_t kGetUsbStackVersion = 0x220004;      // out 4
inline constexpr std::uint32_t kGetAlternateSetting = 0x220008;     // out 1
inline constexpr std::uint32_t kSelectAlternateSetting = 0x22000C;  // in 1
inline constexpr std::uint32_t kGetDeviceAddress = 0x220010;        // out 1
inline constexpr std::uint32_t kGetPowerState = 0x220018;           // out 4
inline constexpr std::uint32_t kSetPowerState = 0x22001C;           // in 4
// In and out: request record + data (the same buffer); the record's setup fields say what to do.
inline constexpr std::uint32_t kControlTransfer = 0x220020;
// In and out: request record + data (the same buffer) for the record's endpoint.
inline constexpr std::uint32_t kBufferedTransfer = 0x220024;
inline constexpr std::uint32_t kCyclePort = 0x220028;        // none: the device re-attaches
inline constexpr std::uint32_t kResetPipe = 0x22002C;        // in 1: endpoint address
inline constexpr std::uint32_t kResetParentPort = 0x220030;  // none
inline constexpr std::uint32_t kGetTransferSize = 0x220034;  // in and out 5: address, size
inline constexpr std::uint32_t kSetTransferSize = 0x220038;  // in and out 5: address, size
inline constexpr std::uint32_t kGetDeviceName = 0x22003C;    // out 256: zero-terminated
inline constexpr std::uint32_t kGetFriendlyName = 0x220040;  // out 256: zero-terminated
inline constexpr std::uint32_t kAbortPipe = 0x220044;        // in 1: endpoint address
// In: the bare 38-byte request record; out: the caller's data buffer, filled or sent in place.
inline constexpr std::uint32_t kDirectTransfer = 0x22004B;
inline constexpr std::uint32_t kGetBusSpeed = 0x22004C;  // out 4: a BusSpeed value
}  // namespace ioctl

// Values of kGetBusSpeed.
enum BusSpeed : std::uint32_t { kFullSpeed = 1, kHighSpeed = 2, kSuperSpeed = 4 };

// Size of the name buffers of kGetDeviceName and kGetFriendlyName, terminator included.
inline constexpr std::size_t kDriverNameSize = 256;

// The transfer request record: little-endian, packed, 38 bytes, followed by the data for buffered
// and control transfers. Fields named "control only" are zero for data transfers.
struct RequestRecord {
    static constexpr std::size_t kSize = 38;
    // Byte offsets of the fields.
    static constexpr std::size_t kRequestTypeOffset = 0;  // direction << 7 | type << 5 | target
    static constexpr std::size_t kRequestOffset = 1;
    static constexpr std::size_t kValueOffset = 2;
    static constexpr std::size_t kIndexOffset = 4;
    static constexpr std::size_t kLengthOffset = 6;
    static constexpr std::size_t kTimeoutOffset = 8;  // seconds
    static constexpr std::size_t kReservedOffset = 12;
    static constexpr std::size_t kEndpointOffset = 13;
    static constexpr std::size_t kNtStatusOffset = 14;
    static constexpr std::size_t kUsbdStatusOffset = 18;
    static constexpr std::size_t kPacketInfoOffsetOffset = 22;
    static constexpr std::size_t kPacketInfoLengthOffset = 26;
    static constexpr std::size_t kDataOffsetOffset = 30;
    static constexpr std::size_t kDataLengthOffset = 34;

    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
    std::uint32_t timeoutS = 0;
    std::uint8_t endpointAddress = 0;
    std::uint32_t ntStatus = 0;
    std::uint32_t usbdStatus = 0;
    std::uint32_t packetInfoOffset = 0;
    std::uint32_t packetInfoLength = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;

    // Reads the record from the first kSize bytes of `bytes`.
    static RequestRecord decode(const std::uint8_t* bytes);
    // Writes the record into the first kSize bytes of `bytes` (the reserved byte as 0).
    void encode(std::uint8_t* bytes) const;
    // Writes only the two status fields the driver fills in when a transfer ends.
    static void writeStatus(std::uint8_t* bytes, std::uint32_t ntStatus, std::uint32_t usbdStatus);
};

// bmRequestType bits of the record's first byte.
inline constexpr std::uint8_t kRequestDirectionIn = 0x80;
inline constexpr int kRequestTypeShift = 5;

// Status values a driver writes into a finished record. The NT status carries the errno-valued
// cause of a failure, the USBD status what happened on the bus; both are 0 on success.
inline constexpr std::uint32_t kUsbdStatusStall = 0xC0000004;
inline constexpr std::uint32_t kUsbdStatusDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kUsbdStatusTimeout = 0xC0006000;
inline constexpr std::uint32_t kUsbdStatusCanceled = 0xC0010000;
inline constexpr std::uint32_t kUsbdStatusError = 0xC0000001;

// The errno-valued code of an overlapped request that was accepted and has not finished yet.
inline constexpr int kErrorIoPending = EINPROGRESS;

// The completion state of one overlapped request. The caller owns it, keeps it (and the request's
// buffers) alive until the request has finished, and must not reuse it for another request
// before then. The driver calls complete() exactly once per accepted request, from whatever
// thread finishes it; complete() stores the result and then sets the event.
class Overlapped {
public:
    explicit Overlapped(platform::Event* event = nullptr) : event_(event) {}
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;

    void setEvent(platform::Event* event) { event_ = event; }
    platform::Event* event() const { return event_; }

    // Driver side. begin() marks the request accepted (pending) and must come before the request
    // can complete; complete() finishes it with 0 or an errno-valued code and the bytes the output
    // buffer received (for buffered and control transfers the record and anything before the
    // data count: the record's data offset + data bytes).
    void begin() { state_.store(kPending, std::memory_order_relaxed); }
    void complete(int errorCode, std::uint32_t bytes) {
        bytes_ = bytes;
        error_ = errorCode;
        state_.store(kDone, std::memory_order_release);
        if (event_) event_->set();
    }

    // Caller side, from any thread, never blocks: true with the bytes of a request that finished
    // successfully; false with lastError() = kErrorIoPending while it runs, or with the failure's
    // code (and the bytes that did arrive).
    bool result(std::uint32_t* bytes) const;
    bool isPending() const { return state_.load(std::memory_order_acquire) == kPending; }

private:
    enum State { kIdle, kPending, kDone };
    platform::Event* event_;
    std::atomic<int> state_{kIdle};
    std::uint32_t bytes_ = 0;  // written before state_ becomes kDone, read after
    int error_ = 0;
};

// An open device. Every operation is safe from any thread; the driver serialises what it must.
class UsbDriverHandle {
public:
    // Closing cancels every pending request of the handle and returns only after each of them
    // has completed (its Overlapped finished and its event set), so no buffer is touched later.
    // kAbortPipe likewise returns only after every request of that endpoint issued before it has
    // completed.
    virtual ~UsbDriverHandle() = default;

    // Issues one I/O-control request. `in`/`out` may be the same buffer (transfers use one buffer
    // for record and data). For a direct transfer the driver writes the finished statuses into
    // the record in `in`, so `in` is writable too.
    //
    // Without `overlapped` the call blocks until the request has finished: true with
    // *bytesReturned set, or false with lastError(). With `overlapped` it never blocks on the
    // device: false with lastError() = kErrorIoPending when the request was accepted (it finishes
    // later through `overlapped`), true when it already finished (the event is set then too),
    // false with another code when it was refused (the event is not set). A transfer that does not
    // finish within the record's time-out (control transfers) fails with ETIMEDOUT; a cancelled
    // one with ECANCELED; a stall with EPIPE; an unplugged device with ENODEV.
    virtual bool ioControl(std::uint32_t code, void* in, std::uint32_t inLength, void* out,
                           std::uint32_t outLength, std::uint32_t* bytesReturned, Overlapped* overlapped) = 0;
};

// What a driver tells about one present device.
struct UsbDeviceEntry {
    std::string path;          // unique while the device stays attached
    std::string friendlyName;  // readable by a person, at most kDriverNameSize - 1 bytes
    // Who else uses the device, as far as the system lets this process see, for a person to read
    // ("process 4711 (zmcam)", "the kernel driver usbtest"); empty when nobody is seen.
    std::string users;
};

// A source of devices of the camera interface class. Methods may be called from any thread; they
// may block for the bus I/O they need (reading product strings), never indefinitely.
class UsbDriver {
public:
    virtual ~UsbDriver() = default;

    // Re-reads the bus: the number of present devices, listed in a stable order (the same devices
    // keep the same order between two calls).
    virtual int deviceCount() = 0;
    // The device with `index` as of the last deviceCount(); false (lastError ENODEV) when out of
    // range.
    virtual bool deviceEntry(int index, UsbDeviceEntry* entry) = 0;
    // Opens the device with `index` as of the last deviceCount(); null with lastError() when it
    // is out of range, has gone, or cannot be opened (EACCES: no permission for the device file;
    // EBUSY: another program has claimed it, and it has been sent nothing). The device is claimed
    // for this process until its last handle here closes: handles of one process share it, other
    // processes cannot open it meanwhile.
    virtual std::unique_ptr<UsbDriverHandle> open(int index) = 0;

    // Asks to be told when devices of the camera vendor may have arrived or left: a camera plugged
    // in or unplugged, and the departure and return of one that re-attaches (after a firmware
    // download, a port cycle). A call says only that the list may differ, and one call may stand
    // for several changes; deviceCount() shows the list. Changes before watch() are not told.
    //
    // `changed` runs on a thread of the driver's own (libusb: its event thread; simulator: the
    // simulated bus's thread), one call at a time, never under a lock of a camera, a handle or the
    // driver's device list. It must return quickly (e.g. set an event) and must not call the
    // driver: deviceCount() and the rest are for another thread, after the call.
    //
    // A later watch() replaces `changed`; watch({}) stops watching. Either returns only once no
    // call of the previous callback runs any more, so what it refers to may go then. Not to be
    // called from inside `changed`. Destroying the driver stops watching too.
    virtual void watch(std::function<void()> changed) = 0;
};

// The driver of this process: the libusb driver when ZMCORE_SIMULATE is unset, otherwise the
// simulator driver configured by that variable. Built on first use (thread-safe), lives until the
// process exits. A simulator configuration that cannot be used is shown to the user and replaced
// by an empty simulated bus.
UsbDriver& usbDriver();

// Real cameras through libusb. Never fails: when libusb cannot start, the driver lists no devices
// and says why on standard error.
std::unique_ptr<UsbDriver> makeLibusbDriver();

// Simulated cameras described by `config` (the value of ZMCORE_SIMULATE). Throws
// std::invalid_argument with a message that names the offending text when `config` is malformed.
std::unique_ptr<UsbDriver> makeSimulatorDriver(std::string_view config);

}  // namespace ZmCoreLib_v4
