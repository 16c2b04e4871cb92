#include "fakeusbdriver.h"

#include <algorithm>
#include <cstring>

#include "platform/error.h"

namespace ZmCoreLib_v4::testing_support {

namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kVendorOut = 0x40;
constexpr int kBulkRequestsHeld = 4;

void put16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool fail(int error) {
    platform::setLastError(error);
    return false;
}

// Finishes a request that needs no waiting the way a real driver may: accepted, then completed
// before the caller looks.
bool finishAtOnce(Overlapped* overlapped, std::uint32_t bytes, std::uint32_t* returned) {
    *returned = bytes;
    if (!overlapped) return true;
    overlapped->begin();
    overlapped->complete(0, bytes);
    platform::setLastError(kErrorIoPending);
    return false;
}

}  // namespace

Bytes deviceDescriptor(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usbVersion,
                       std::uint8_t maxPacketSize0, std::uint8_t configurations) {
    Bytes bytes{18, 1};
    put16(bytes, usbVersion);
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, maxPacketSize0});
    put16(bytes, vendorId);
    put16(bytes, productId);
    put16(bytes, 0x0000);
    bytes.insert(bytes.end(), {1, 2, 3, configurations});
    return bytes;
}

Bytes endpointDescriptor(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize) {
    Bytes bytes{7, 5, address, attributes};
    put16(bytes, maxPacketSize);
    bytes.push_back(0);
    return bytes;
}

Bytes interfaceDescriptor(std::uint8_t number, std::uint8_t alternateSetting, std::uint8_t endpointCount) {
    return {9, 4, number, alternateSetting, endpointCount, 0xFF, 0, 0, 0};
}

Bytes configurationDescriptor(const Bytes& body, std::uint8_t interfaceCount) {
    Bytes bytes{9, 2};
    put16(bytes, static_cast<std::uint16_t>(9 + body.size()));
    bytes.insert(bytes.end(), {interfaceCount, 1, 0, 0x80, 50});
    return bytes + body;
}

Bytes stringDescriptor(std::u16string_view text) {
    Bytes bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (char16_t c : text) put16(bytes, static_cast<std::uint16_t>(c));
    return bytes;
}

Bytes languageDescriptor(const std::vector<std::uint16_t>& languageIds) {
    Bytes bytes{static_cast<std::uint8_t>(2 + 2 * languageIds.size()), 3};
    for (std::uint16_t id : languageIds) put16(bytes, id);
    return bytes;
}

Bytes operator+(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class FakeUsbDriver::Handle : public UsbDriverHandle {
public:
    Handle(FakeUsbDriver& driver, const FakeUsbDevice& device) : driver_(driver), device_(device) {}
    ~Handle() override {
        std::lock_guard lock(driver_.mutex_);
        driver_.abortLocked();
    }

    bool ioControl(std::uint32_t code, void* in, std::uint32_t inLength, void* out, std::uint32_t outLength,
                   std::uint32_t* bytesReturned, Overlapped* overlapped) override {
        auto* input = static_cast<std::uint8_t*>(in);
        auto* output = static_cast<std::uint8_t*>(out);
        if (driver_.onRequest) driver_.onRequest(code);
        {
            std::lock_guard lock(driver_.mutex_);
            RecordedRequest& entry = driver_.log_.emplace_back();
            entry.code = code;
            if (input) entry.input.assign(input, input + inLength);
            if (inLength >= RequestRecord::kSize) entry.record = RequestRecord::decode(input);
            entry.output = output;
            entry.outputLength = outLength;
            entry.overlapped = overlapped != nullptr;
        }
        std::uint32_t ignored = 0;
        std::uint32_t* returned = bytesReturned ? bytesReturned : &ignored;
        switch (code) {
            case ioctl::kControlTransfer:
                return driver_.control(device_, input, inLength, returned, overlapped);
            case ioctl::kDirectTransfer:
                return driver_.bulk(input, output, outLength, returned, overlapped);
            case ioctl::kAbortPipe: {
                std::lock_guard lock(driver_.mutex_);
                driver_.abortLocked();
                return finishAtOnce(overlapped, 0, returned);
            }
            case ioctl::kResetPipe: {
                std::lock_guard lock(driver_.mutex_);
                if (driver_.failingPipeResets > 0) {
                    --driver_.failingPipeResets;
                    return fail(EPIPE);
                }
                return finishAtOnce(overlapped, 0, returned);
            }
            case ioctl::kGetFriendlyName:
            case ioctl::kGetDeviceName: {
                if (outLength < kDriverNameSize) return fail(EINVAL);
                const std::string& name =
                    code == ioctl::kGetFriendlyName ? device_.friendlyName : device_.path;
                std::memset(output, 0, kDriverNameSize);
                std::memcpy(output, name.data(), std::min(name.size(), kDriverNameSize - 1));
                return finishAtOnce(overlapped, kDriverNameSize, returned);
            }
            case ioctl::kSetTransferSize:
            case ioctl::kGetTransferSize: {
                if (inLength < 5 || outLength < 5) return fail(EINVAL);
                std::lock_guard lock(driver_.mutex_);
                if (code == ioctl::kSetTransferSize)
                    transferSizes_[input[0]] = static_cast<std::uint32_t>(input[1]) | input[2] << 8 |
                                               input[3] << 16 | static_cast<std::uint32_t>(input[4]) << 24;
                const std::uint32_t size = transferSizes_[input[0]];
                output[0] = input[0];
                put32(output + 1, size);
                return finishAtOnce(overlapped, 5, returned);
            }
            case ioctl::kGetBusSpeed:
            case ioctl::kGetDriverVersion:
            case ioctl::kGetUsbStackVersion:
                if (outLength < 4) return fail(EINVAL);
                put32(output, code == ioctl::kGetBusSpeed ? std::uint32_t{kHighSpeed} : 0x00010000u);
                return finishAtOnce(overlapped, 4, returned);
            case ioctl::kGetAlternateSetting:
            case ioctl::kGetDeviceAddress:
                if (outLength < 1) return fail(EINVAL);
                output[0] = code == ioctl::kGetDeviceAddress ? 5 : 0;
                return finishAtOnce(overlapped, 1, returned);
            case ioctl::kCyclePort:
            case ioctl::kResetParentPort:
                return finishAtOnce(overlapped, 0, returned);
            default:
                return fail(ENOTTY);
        }
    }

private:
    FakeUsbDriver& driver_;
    const FakeUsbDevice& device_;
    std::map<std::uint8_t, std::uint32_t> transferSizes_;
};

int FakeUsbDriver::deviceCount() {
    return static_cast<int>(devices.size());
}

bool FakeUsbDriver::deviceEntry(int index, UsbDeviceEntry* entry) {
    if (index < 0 || index >= deviceCount()) return fail(ENODEV);
    entry->path = devices[index].path;
    entry->friendlyName = devices[index].friendlyName;
    return true;
}

std::unique_ptr<UsbDriverHandle> FakeUsbDriver::open(int index) {
    if (index < 0 || index >= deviceCount()) {
        platform::setLastError(ENODEV);
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    ++opens_;
    return std::make_unique<Handle>(*this, devices[index]);
}

bool FakeUsbDriver::control(const FakeUsbDevice& device, std::uint8_t* buffer, std::uint32_t length,
                            std::uint32_t* returned, Overlapped* overlapped) {
    if (length < RequestRecord::kSize) return fail(EINVAL);
    const RequestRecord record = RequestRecord::decode(buffer);
    if (length < RequestRecord::kSize + record.length) return fail(EINVAL);
    std::uint8_t* data = buffer + RequestRecord::kSize;
    if (hangControl) {
        if (!overlapped) return fail(EINVAL);
        std::lock_guard lock(mutex_);
        overlapped->begin();
        pending_.push_back({buffer, data, record.length, overlapped, 0, true});
        return fail(kErrorIoPending);
    }

    std::optional<Bytes> answer;
    if (record.requestType == kStandardIn && record.request == kGetDescriptor) {
        const std::uint8_t type = record.value >> 8;
        const std::uint8_t index = record.value & 0xFF;
        if (type == 1 && !device.device.empty())
            answer = device.device;
        else if (type == 2 && index < device.configurations.size())
            answer = device.configurations[index];
        else if (type == 3 && device.strings.count(index))
            answer = device.strings.at(index);
        else if (type == 0x0F && !device.bos.empty())
            answer = device.bos;
    } else if (record.requestType == kVendorIn && vendorIn) {
        answer = vendorIn(record);
    } else if (record.requestType == kVendorOut) {
        return finishAtOnce(overlapped, RequestRecord::kSize + record.length, returned);
    }
    if (!answer) {
        RequestRecord::writeStatus(buffer, EPIPE, kUsbdStatusStall);
        if (!overlapped) return fail(EPIPE);
        overlapped->begin();
        overlapped->complete(EPIPE, RequestRecord::kSize);
        return fail(kErrorIoPending);
    }
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(answer->size(), record.length));
    std::memcpy(data, answer->data(), count);
    return finishAtOnce(overlapped, RequestRecord::kSize + count, returned);
}

bool FakeUsbDriver::bulk(std::uint8_t* record, std::uint8_t* data, std::uint32_t length,
                         std::uint32_t* returned, Overlapped* overlapped) {
    if (!overlapped) return fail(EINVAL);  // the layer always streams overlapped
    std::lock_guard lock(mutex_);
    overlapped->begin();
    pending_.push_back({record, data, length, overlapped, streamOffset_, false});
    streamOffset_ += length;
    log_.back().inFlightAtStart = static_cast<int>(pending_.size());
    switch (bulkMode) {
        case BulkMode::Complete:
            if (streamOffset_ >= streamLength_)
                while (!pending_.empty()) completeLocked(0, 0, pending_.front().length);
            else if (static_cast<int>(pending_.size()) >= kBulkRequestsHeld)
                completeLocked(0, 0, pending_.front().length);
            break;
        case BulkMode::Stall:
            completeLocked(pending_.size() - 1, EPIPE, 0, kUsbdStatusStall);
            break;
        case BulkMode::Short:
            completeLocked(pending_.size() - 1, 0, length / 2);
            break;
        case BulkMode::Hang:
            break;
    }
    *returned = 0;
    return fail(kErrorIoPending);
}

void FakeUsbDriver::completeLocked(std::size_t which, int error, std::uint32_t bytes,
                                   std::uint32_t usbdStatus) {
    const Pending pending = pending_[which];
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(which));
    for (std::uint32_t i = 0; i < bytes && !pending.control; ++i)
        pending.data[i] = streamByte(pending.streamOffset + i);
    RequestRecord::writeStatus(pending.record, static_cast<std::uint32_t>(error), usbdStatus);
    pending.overlapped->complete(error, pending.control ? RequestRecord::kSize + bytes : bytes);
}

void FakeUsbDriver::startStream(std::uint64_t length) {
    std::lock_guard lock(mutex_);
    streamLength_ = length;
    streamOffset_ = 0;
}

void FakeUsbDriver::abortLocked() {
    while (!pending_.empty()) completeLocked(0, ECANCELED, 0, kUsbdStatusCanceled);
}

std::vector<RecordedRequest> FakeUsbDriver::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<RecordedRequest> FakeUsbDriver::log(std::uint32_t code) const {
    std::lock_guard lock(mutex_);
    std::vector<RecordedRequest> selected;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(selected),
                 [code](const RecordedRequest& request) { return request.code == code; });
    return selected;
}

void FakeUsbDriver::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

int FakeUsbDriver::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeUsbDriver::inFlight() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(pending_.size());
}

}  // namespace ZmCoreLib_v4::testing_support
