// Asks a camera that shows a probe identity which camera it is.
//
// The probe loads the probe FPGA configuration, pulses bit 0 of the control register and polls
// the status register until the FPGA shows a value of at least 256, whose bits 23-8 are the type
// word. Runs entirely in the constructor, on the caller's thread, which it blocks for the
// configuration load and at most `pollLimit` of polling.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace ZmCoreLib_v4 {

class IHwLayer;

class TypeProbe {
public:
    static constexpr const char* kProbeConfigurationFile = "./zmu0100.bit";
    static constexpr unsigned kControlRegister = 0xE2000C;
    static constexpr unsigned kTypeRegister = 0xE2006D;  // status window 0xE20000 + 96 + 13
    static constexpr unsigned kTypeShownMinimum = 256;

    TypeProbe(IHwLayer& layer, std::chrono::milliseconds pollPause, std::chrono::milliseconds pollLimit,
              const std::string& configurationFile = kProbeConfigurationFile);

    // The type word, 0 when the camera did not show one within the poll limit.
    std::uint16_t typeWord() const { return typeWord_; }
    bool configurationLoaded() const { return configurationLoaded_; }

private:
    std::uint16_t typeWord_ = 0;
    bool configurationLoaded_ = false;
};

}  // namespace ZmCoreLib_v4
