#include "devices/typeprobe.h"

#include <thread>

#include "hardware/hwlayer.h"
#include "hardware/registers/buffermanager.h"
#include "hardware/registers/controlwindow.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr unsigned kStartRegister = registers::kControlWindow + registers::kBufferManagerOffset;
constexpr unsigned kPulse = registers::buffermanager::kStartPulse.mask();

}  // namespace

TypeProbe::TypeProbe(IHwLayer& layer, std::chrono::milliseconds pollPause,
                     std::chrono::milliseconds pollLimit, const std::string& configurationFile) {
    configurationLoaded_ = loadFpgaConfiguration(layer, configurationFile) == 0;
    std::this_thread::sleep_for(kSettleTime);
    layer.WriteRegister(kStartRegister, kPulse);
    layer.WriteRegister(kStartRegister, 0);
    std::this_thread::sleep_for(kSettleTime);

    const auto deadline = std::chrono::steady_clock::now() + pollLimit;
    for (;;) {
        // Until it runs the probe configuration the FPGA shows no type word, only low bits.
        const unsigned typeWord =
            registers::kProbeTypeWord.extract(layer.ReadRegister(registers::kProbeTypeRegister));
        if (typeWord != 0) {
            typeWord_ = static_cast<std::uint16_t>(typeWord);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(pollPause);
    }
}

}  // namespace ZmCoreLib_v4
