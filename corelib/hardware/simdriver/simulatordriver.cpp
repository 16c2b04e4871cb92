#include "hardware/simdriver/simulatordriver.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/error.h"
#include "simulator/cameraconfig.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {

using simulator::SimulatedCamera;
using simulator::TransferStatus;

constexpr std::uint32_t kSimulatorDriverVersion = 0x00040000;
constexpr std::uint32_t kSimulatorStackVersion = 0x00020000;
constexpr std::uint32_t kPowerStateD0 = 1;
constexpr std::size_t kTransferSizeRequestSize = 5;

// The statuses a finished record carries and the errno-valued code of its Overlapped.
struct Outcome {
    int error;
    std::uint32_t usbdStatus;
};

Outcome outcomeOf(TransferStatus status) {
    switch (status) {
        case TransferStatus::Ok:
            return {0, 0};
        case TransferStatus::Stall:
            return {EPIPE, kUsbdStatusStall};
        case TransferStatus::Cancelled:
            return {ECANCELED, kUsbdStatusCanceled};
        case TransferStatus::NoDevice:
            break;
    }
    return {ENODEV, kUsbdStatusDeviceGone};
}

class SimulatorHandle final : public UsbDriverHandle {
public:
    SimulatorHandle(std::shared_ptr<SimulatedCamera> camera, std::uint64_t generation)
        : camera_(std::move(camera)), generation_(generation) {}

    ~SimulatorHandle() override {
        std::unique_lock lock(mutex_);
        for (std::uint64_t id : pending_) camera_->cancelBulk(id);
        finished_.wait(lock, [this] { return inFlight_ == 0; });
    }

    bool ioControl(std::uint32_t code, void* in, std::uint32_t inLength, void* out, std::uint32_t outLength,
                   std::uint32_t* bytesReturned, Overlapped* overlapped) override {
        auto* input = static_cast<std::uint8_t*>(in);
        auto* output = static_cast<std::uint8_t*>(out);
        switch (code) {
            case ioctl::kControlTransfer:
                return controlTransfer(input, inLength, bytesReturned, overlapped);
            case ioctl::kDirectTransfer:
                return directTransfer(input, inLength, output, outLength, bytesReturned, overlapped);
            case ioctl::kBufferedTransfer:
                // Nothing of the library sends buffered data transfers; the camera has no use for them.
                return refuse(ENOTSUP);
            case ioctl::kCyclePort:
            case ioctl::kResetParentPort:
                return finish(camera_->cyclePort(generation_), 0, bytesReturned, overlapped);
            case ioctl::kResetPipe:
                if (inLength < 1) return refuse(EINVAL);
                return finish(camera_->clearHalt(generation_, input[0]), 0, bytesReturned, overlapped);
            case ioctl::kAbortPipe:
                if (inLength < 1) return refuse(EINVAL);
                camera_->abortEndpoint(generation_, input[0]);
                return finish(TransferStatus::Ok, 0, bytesReturned, overlapped);
            case ioctl::kGetTransferSize:
            case ioctl::kSetTransferSize:
                return transferSize(code, input, inLength, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetDriverVersion:
                return answer32(kSimulatorDriverVersion, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetUsbStackVersion:
                return answer32(kSimulatorStackVersion, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetPowerState:
                return answer32(kPowerStateD0, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetBusSpeed:
                return answer32(kHighSpeed, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetAlternateSetting:
                return answerBytes({0}, output, outLength, bytesReturned, overlapped);
            case ioctl::kGetDeviceAddress:
                return answerBytes({static_cast<std::uint8_t>(camera_->port() + 1)}, output, outLength,
                                   bytesReturned, overlapped);
            case ioctl::kSelectAlternateSetting:
                if (inLength < 1 || input[0] != 0) return refuse(EINVAL);
                return finish(TransferStatus::Ok, 0, bytesReturned, overlapped);
            case ioctl::kSetPowerState:
                return finish(TransferStatus::Ok, 0, bytesReturned, overlapped);
            case ioctl::kGetDeviceName:
                return answerName("/simulator/port" + std::to_string(camera_->port()), output, outLength,
                                  bytesReturned, overlapped);
            case ioctl::kGetFriendlyName:
                return answerName(camera_->friendlyName(), output, outLength, bytesReturned, overlapped);
            default:
                return refuse(EINVAL);
        }
    }

private:
    static bool refuse(int error) {
        platform::setLastError(error);
        return false;
    }

    // Reports a request that has finished: through `overlapped` when there is one (the request
    // then counts as finished even when it failed; its result carries the failure).
    bool finish(TransferStatus status, std::uint32_t bytes, std::uint32_t* bytesReturned,
                Overlapped* overlapped) {
        const Outcome outcome = outcomeOf(status);
        if (bytesReturned) *bytesReturned = bytes;
        if (overlapped) {
            overlapped->begin();
            overlapped->complete(outcome.error, bytes);
            return true;
        }
        if (outcome.error != 0) return refuse(outcome.error);
        return true;
    }

    bool answerBytes(std::initializer_list<std::uint8_t> bytes, std::uint8_t* output, std::uint32_t outLength,
                     std::uint32_t* bytesReturned, Overlapped* overlapped) {
        if (output == nullptr || outLength < bytes.size()) return refuse(EINVAL);
        std::copy(bytes.begin(), bytes.end(), output);
        return finish(liveStatus(), static_cast<std::uint32_t>(bytes.size()), bytesReturned, overlapped);
    }

    bool answer32(std::uint32_t value, std::uint8_t* output, std::uint32_t outLength,
                  std::uint32_t* bytesReturned, Overlapped* overlapped) {
        std::uint8_t bytes[4];
        littleendian::put32(bytes, value);
        return answerBytes({bytes[0], bytes[1], bytes[2], bytes[3]}, output, outLength, bytesReturned,
                           overlapped);
    }

    bool answerName(const std::string& name, std::uint8_t* output, std::uint32_t outLength,
                    std::uint32_t* bytesReturned, Overlapped* overlapped) {
        if (output == nullptr || outLength < kDriverNameSize) return refuse(EINVAL);
        std::memset(output, 0, kDriverNameSize);
        std::memcpy(output, name.data(), std::min(name.size(), kDriverNameSize - 1));
        return finish(liveStatus(), kDriverNameSize, bytesReturned, overlapped);
    }

    TransferStatus liveStatus() const {
        return camera_->attachedGeneration() == generation_ ? TransferStatus::Ok : TransferStatus::NoDevice;
    }

    bool transferSize(std::uint32_t code, std::uint8_t* input, std::uint32_t inLength, std::uint8_t* output,
                      std::uint32_t outLength, std::uint32_t* bytesReturned, Overlapped* overlapped) {
        if (inLength < kTransferSizeRequestSize || output == nullptr ||
            outLength < kTransferSizeRequestSize) {
            return refuse(EINVAL);
        }
        const std::uint8_t endpoint = input[0];
        std::uint32_t size = 0;
        {
            std::lock_guard lock(mutex_);
            if (code == ioctl::kSetTransferSize) transferSizes_[endpoint] = littleendian::get32(input + 1);
            size = transferSizes_[endpoint];
        }
        output[0] = endpoint;
        littleendian::put32(output + 1, size);
        return finish(liveStatus(), kTransferSizeRequestSize, bytesReturned, overlapped);
    }

    bool controlTransfer(std::uint8_t* buffer, std::uint32_t length, std::uint32_t* bytesReturned,
                         Overlapped* overlapped) {
        if (buffer == nullptr || length < RequestRecord::kSize) return refuse(EINVAL);
        const RequestRecord record = RequestRecord::decode(buffer);
        simulator::SetupPacket setup;
        setup.requestType = record.requestType;
        setup.request = record.request;
        setup.value = record.value;
        setup.index = record.index;
        setup.length = record.length;
        const std::size_t room = length - RequestRecord::kSize;
        const auto result = camera_->controlTransfer(
            generation_, setup, {buffer + RequestRecord::kSize, std::min<std::size_t>(room, record.length)});
        RequestRecord::writeStatus(buffer, static_cast<std::uint32_t>(outcomeOf(result.status).error),
                                   outcomeOf(result.status).usbdStatus);
        return finish(result.status, static_cast<std::uint32_t>(RequestRecord::kSize + result.bytes),
                      bytesReturned, overlapped);
    }

    bool directTransfer(std::uint8_t* record, std::uint32_t recordLength, std::uint8_t* data,
                        std::uint32_t dataLength, std::uint32_t* bytesReturned, Overlapped* overlapped) {
        if (record == nullptr || recordLength < RequestRecord::kSize || (data == nullptr && dataLength > 0)) {
            return refuse(EINVAL);
        }
        const std::uint8_t endpoint = RequestRecord::decode(record).endpointAddress;
        // A synchronous caller waits here for its own completion.
        platform::Event ownEvent(platform::ResetMode::Manual);
        Overlapped ownOverlapped(&ownEvent);
        Overlapped* completion = overlapped ? overlapped : &ownOverlapped;
        completion->begin();
        // The request's id once known, or kFinished when it completed before that.
        auto ticket = std::make_shared<std::uint64_t>(0);
        {
            std::lock_guard lock(mutex_);
            ++inFlight_;
        }
        TransferStatus refusal = TransferStatus::Ok;
        const std::uint64_t id = camera_->submitBulkIn(
            generation_, endpoint, data, dataLength,
            [this, record, completion, ticket](TransferStatus status, std::size_t bytes) {
                const Outcome outcome = outcomeOf(status);
                RequestRecord::writeStatus(record, static_cast<std::uint32_t>(outcome.error),
                                           outcome.usbdStatus);
                completion->complete(outcome.error, static_cast<std::uint32_t>(bytes));
                std::lock_guard lock(mutex_);
                if (*ticket != 0) pending_.erase(*ticket);
                *ticket = kFinished;
                --inFlight_;
                finished_.notify_all();  // under the lock: the destructor may be waiting to free it
            },
            &refusal);
        {
            std::lock_guard lock(mutex_);
            if (id == 0) {
                --inFlight_;
                finished_.notify_all();
            } else if (*ticket != kFinished) {
                *ticket = id;
                pending_.insert(id);
            }
        }
        if (id == 0) {
            RequestRecord::writeStatus(record, static_cast<std::uint32_t>(outcomeOf(refusal).error),
                                       outcomeOf(refusal).usbdStatus);
            completion->complete(outcomeOf(refusal).error, 0);
            if (bytesReturned) *bytesReturned = 0;
            return overlapped ? true : refuse(outcomeOf(refusal).error);
        }
        if (overlapped) return refuse(kErrorIoPending);
        ownEvent.wait(platform::kWaitForever);  // bounded by the caller's own cancellation
        std::uint32_t bytes = 0;
        const bool succeeded = ownOverlapped.result(&bytes);
        if (bytesReturned) *bytesReturned = bytes;
        return succeeded;
    }

    static constexpr std::uint64_t kFinished = ~std::uint64_t{0};

    const std::shared_ptr<SimulatedCamera> camera_;
    const std::uint64_t generation_;
    std::mutex mutex_;  // guards pending_, inFlight_, transferSizes_; taken before the camera's lock
    std::condition_variable finished_;
    std::set<std::uint64_t> pending_;  // ids of accepted transfers that have not completed
    int inFlight_ = 0;                 // transfers submitted or accepted and not completed
    std::uint32_t transferSizes_[256] = {};
};

}  // namespace

SimulatorDriver::SimulatorDriver(std::shared_ptr<simulator::SimulatedBus> bus) : bus_(std::move(bus)) {}

SimulatorDriver::~SimulatorDriver() {
    bus_->setAttachmentListener({});
}

void SimulatorDriver::watch(std::function<void()> changed) {
    bus_->setAttachmentListener(std::move(changed));
}

int SimulatorDriver::deviceCount() {
    auto attached = bus_->attachedCameras();
    std::lock_guard lock(mutex_);
    listed_ = std::move(attached);
    return static_cast<int>(listed_.size());
}

bool SimulatorDriver::deviceEntry(int index, UsbDeviceEntry* entry) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(listed_.size())) {
        platform::setLastError(ENODEV);
        return false;
    }
    const auto& camera = listed_[static_cast<std::size_t>(index)].camera;
    entry->path = "/simulator/port" + std::to_string(camera->port());
    entry->friendlyName = camera->friendlyName();
    const auto held = heldElsewhere_.find(camera.get());
    entry->users = held != heldElsewhere_.end() ? held->second : std::string();
    return true;
}

void SimulatorDriver::holdElsewhere(const simulator::SimulatedCamera& camera, std::string users) {
    std::lock_guard lock(mutex_);
    if (users.empty())
        heldElsewhere_.erase(&camera);
    else
        heldElsewhere_[&camera] = std::move(users);
}

std::unique_ptr<UsbDriverHandle> SimulatorDriver::open(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(listed_.size())) {
        platform::setLastError(ENODEV);
        return nullptr;
    }
    const auto& listed = listed_[static_cast<std::size_t>(index)];
    if (listed.camera->attachedGeneration() != listed.generation) {
        platform::setLastError(ENODEV);
        return nullptr;
    }
    if (heldElsewhere_.count(listed.camera.get())) {
        platform::setLastError(EBUSY);
        return nullptr;
    }
    return std::make_unique<SimulatorHandle>(listed.camera, listed.generation);
}

std::unique_ptr<UsbDriver> makeSimulatorDriver(std::string_view config) {
    const simulator::BusConfig bus = simulator::parseBusConfig(config, std::getenv("ZMCORE_SIM_BUS_MBPS"));
    return std::make_unique<SimulatorDriver>(
        std::make_shared<simulator::SimulatedBus>(bus.cameras, bus.rateMBps));
}

}  // namespace ZmCoreLib_v4
