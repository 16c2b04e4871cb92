// Asks a camera that shows a probe identity which camera it is.
//
// The probe loads the probe FPGA configuration, pulses the start bit of the buffer-manager
// register and polls the probe type register until the FPGA shows a type word
// (registers/controlwindow.h). Runs entirely in the constructor, on the caller's thread, which it blocks for
// the configuration load and at most `pollLimit` of polling.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace ZmCoreLib_v4 {

class IHwLayer;

class TypeProbe {
public:
    static constexpr const char* kProbeConfigurationFile = "./zmu0100.bit";
    // The probe design's pauses after its load and after the pulse.
    static constexpr auto kSettleTime = std::chrono::milliseconds(10);

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
