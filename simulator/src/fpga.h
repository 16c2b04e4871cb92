// The camera's FPGA: configuration loading, the register windows 0xE2 and 0xE3, the frame slots
// with their ready flags, the image stream armed for the bulk endpoint, and the intensifier
// module reached through it.
//
// The register map here is the simulator's own, written from the camera's documentation and
// not shared with the camera library's register tables (corelib/hardware/registers): the
// simulator is the independent check of those tables, so a wrong address or bit in the library
// shows as a test failure instead of being agreed with.
//
// Not thread-safe: the owning camera serialises every call under its lock.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frameencoder.h"
#include "simulator/cameraconfig.h"
#include "simulator/hardwaremodel.h"

namespace simulator {

inline constexpr std::uint8_t kFifoRequest = 0xE0;           // value 0: reset the stream FIFO
inline constexpr std::uint8_t kConfigurationRequest = 0xE1;  // value 5 reset, 6 data
inline constexpr std::uint16_t kConfigurationResetValue = 5;
inline constexpr std::uint16_t kConfigurationDataValue = 6;
inline constexpr std::uint8_t kControlWindow = 0xE2;
inline constexpr std::uint8_t kFrontEndWindow = 0xE3;

class Fpga {
public:
    explicit Fpga(const CameraConfig& config);

    // Power-up after the controller (re)started: unconfigured, for the board `model` (may be null).
    void powerUp(const HardwareModel* model);

    // Configuration stream. Returns a note when the stream completed ("configured with ..." or why
    // the FPGA refused it), empty otherwise.
    void resetConfiguration();
    std::string configurationData(std::span<const std::uint8_t> bytes);
    // Design loaded and made for this board: registers and frames work.
    bool working() const;

    void resetFifo();
    // A register OUT request of a window: three bytes of a 24-bit value, or one query byte.
    void writeRegister(std::uint8_t window, std::uint8_t offset, std::span<const std::uint8_t> bytes);
    void readRegister(std::uint8_t window, std::uint8_t offset, std::span<std::uint8_t> out) const;
    unsigned registerValue(std::uint8_t window, std::uint8_t offset) const;

    // Frame production, driven by the camera's producer thread.
    bool acquiring() const;
    enum class Trigger { Internal, Software, External };
    Trigger trigger() const;
    std::chrono::microseconds frameInterval() const;
    // Captures one frame, read out of the sensor `now`, into the next slot; false when that slot
    // still waits to be read (the frame is lost, as when the host falls behind).
    bool captureFrame(std::chrono::steady_clock::time_point now);
    // Set when a software start arrived since the last call.
    bool takeSoftwareStart();

    // The armed bulk stream: up to `maximum` bytes of it, with the frame they come from.
    struct StreamPiece {
        CapturedFrame frame;
        std::size_t offset = 0;
        std::size_t length = 0;
        bool last = false;  // the stream ends with this piece
    };
    bool streamPending() const { return streamRemaining_ > 0; }
    StreamPiece takeStream(std::size_t maximum);
    // The next armed stream stops after `bytes` (a fault: the frame arrives short).
    void truncateNextStream(std::size_t bytes) { truncateNext_ = bytes; }

    void setTemperatures(int cameraTemperature, int sensorTemperature);
    unsigned moduleRegister(int number) const;
    std::uint32_t framesCaptured() const { return framesCaptured_; }
    std::uint32_t framesLost() const { return framesLost_; }

private:
    struct Layout;
    Layout layout() const;
    FrameGeometry geometry() const;
    std::chrono::microseconds decodeTime(unsigned word, bool framePeriod) const;
    void writeBufferManager(unsigned value);
    void writeControl(unsigned value);
    unsigned bufferManagerRead() const;
    void answerQuery(std::uint8_t offset);

    const CameraConfig config_;
    const HardwareModel* model_ = nullptr;

    std::vector<std::uint8_t> configuration_;  // bytes received since the last reset
    std::optional<std::string> design_;        // file name of the loaded configuration

    std::array<std::array<unsigned, 256>, 2> registers_{};  // [window - 0xE2][offset]
    unsigned bufferManager_ = 0;
    unsigned control_ = 0;
    bool typeLatched_ = false;  // the probe design shows the type word after a pulse of bit 0
    std::array<std::uint8_t, 8> queryAnswer_{};
    std::uint8_t queryOffset_ = 0;

    std::array<unsigned, 16> moduleRegisters_{};
    unsigned moduleAddress_ = 0;

    std::vector<CapturedFrame> slots_;
    unsigned readyMask_ = 0;
    int nextSlot_ = 0;
    bool softwareStart_ = false;
    std::uint32_t framesCaptured_ = 0;
    std::uint32_t framesLost_ = 0;

    bool selectPending_ = false;  // a FIFO reset arms the slot latch for the next buffer-manager write
    int selectedSlot_ = 0;
    CapturedFrame streamFrame_;
    std::size_t streamOffset_ = 0;
    std::size_t streamRemaining_ = 0;
    std::optional<std::size_t> truncateNext_;

    int cameraTemperature_ = 31;
    int sensorTemperature_ = 18;
};

}  // namespace simulator
