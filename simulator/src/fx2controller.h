// The camera's USB controller: program memory loaded over vendor request 0xA0, the CPU held in
// reset or running, and the USB identity and descriptors it answers with.
//
// Not thread-safe: the owning camera serialises every call under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "simulator/cameraconfig.h"
#include "simulator/usbtypes.h"

namespace simulator {

// Vendor request that reads and writes the controller's memory; answered by the controller's
// own boot logic whether or not firmware runs.
inline constexpr std::uint8_t kFirmwareLoadRequest = 0xA0;
// The CPU control register: 1 holds the CPU in reset, 0 lets it run the loaded program.
inline constexpr std::uint16_t kCpuControlAddress = 0xE600;
inline constexpr std::uint8_t kCpuHold = 0x01;
inline constexpr std::uint8_t kCpuRun = 0x00;
// Program memory the firmware is loaded into.
inline constexpr std::size_t kProgramMemorySize = 0x4000;
// Where the firmware keeps its device descriptor; the controller answers with it once the
// firmware runs, so the identity patched into the image decides the new identity.
inline constexpr std::uint16_t kFirmwareDescriptorAddress = 0x08CA;

struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0;
    friend bool operator==(const UsbIdentity&, const UsbIdentity&) = default;
};

// Boot identities: product ids a camera shows while its controller runs no firmware.
bool isBootIdentity(std::uint16_t productId);

class Fx2Controller {
public:
    explicit Fx2Controller(const CameraConfig& config);

    enum class MemoryWriteEffect { None, FirmwareStarted, FirmwareCrashed };
    // A 0xA0 OUT request. Releasing a held CPU starts the loaded program: FirmwareStarted when it
    // holds a valid device descriptor (identity() is then the new one), FirmwareCrashed when not.
    MemoryWriteEffect writeMemory(std::uint16_t address, std::span<const std::uint8_t> bytes);
    void readMemory(std::uint16_t address, std::span<std::uint8_t> bytes) const;

    bool firmwareRunning() const { return firmwareRunning_ && !cpuHeld_; }
    UsbIdentity identity() const { return identity_; }

    // A standard GET_DESCRIPTOR request: the descriptor bytes, or nothing (stall).
    std::optional<std::vector<std::uint8_t>> descriptor(std::uint16_t value, std::uint16_t languageId) const;

private:
    std::array<std::uint8_t, kProgramMemorySize> programMemory_{};
    bool cpuHeld_ = false;
    bool firmwareRunning_;
    UsbIdentity identity_;
    std::string serialText_;
};

}  // namespace simulator
