// Every request a simulated camera received, in order, for tests to assert on.
//
// Thread-safe: the driver's threads append, test threads read snapshots. The log keeps the most
// recent kCapacity entries so that a camera streaming for hours does not grow without bound;
// dropped() counts what fell out at the front.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "simulator/usbtypes.h"

namespace simulator {

struct LoggedRequest {
    enum class Kind {
        Control,    // a control transfer: setup fields, OUT data or the IN data returned
        BulkIn,     // one bulk IN request: the bytes asked for (length) and delivered (data size unused)
        PortCycle,  // the host cycled the device's port
        PipeReset,  // the host cleared a halted endpoint
        Abort,      // the host cancelled the pending transfers of an endpoint
        Event,      // something the camera did by itself (re-attached, FPGA configured); see note
    };
    Kind kind = Kind::Control;
    SetupPacket setup;
    std::vector<std::uint8_t> data;
    std::size_t length = 0;  // BulkIn: bytes requested; Control: bytes transferred
    std::size_t delivered = 0;
    std::uint32_t frame = 0;  // BulkIn: the camera's number of the frame that ended with it, or 0
    std::chrono::steady_clock::time_point frameCaptured;  // and when the camera captured that frame
    TransferStatus status = TransferStatus::Ok;
    std::string note;
    std::chrono::steady_clock::time_point time;
};

// A write of a 24-bit register, decoded from a control OUT request of the 0xE2 or 0xE3 window.
struct RegisterWrite {
    unsigned address;  // (request << 16) | value
    unsigned value;
    friend bool operator==(const RegisterWrite&, const RegisterWrite&) = default;
};

class RequestLog {
public:
    static constexpr std::size_t kCapacity = 1u << 17;

    void append(LoggedRequest entry);
    std::vector<LoggedRequest> snapshot() const;
    void clear();
    std::size_t dropped() const;

    // Register writes (three data bytes, most significant first) in the order they arrived.
    std::vector<RegisterWrite> registerWrites() const;
    // How many times the controller's CPU was released after a firmware download.
    int firmwareDownloads() const;
    // Notes of the camera's own events, in order.
    std::vector<std::string> events() const;

private:
    mutable std::mutex mutex_;  // guards entries_ and dropped_; taken after the camera's lock
    std::deque<LoggedRequest> entries_;
    std::size_t dropped_ = 0;
};

}  // namespace simulator
