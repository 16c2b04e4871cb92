#include "devices/typeprobe.h"

#include <thread>

#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr auto kSettleTime = std::chrono::milliseconds(10);
constexpr unsigned kPulseBit = 1u << 0;
constexpr int kTypeWordShift = 8;

}  // namespace

TypeProbe::TypeProbe(IHwLayer& layer, std::chrono::milliseconds pollPause,
                     std::chrono::milliseconds pollLimit, const std::string& configurationFile) {
    configurationLoaded_ = LoadFpgaConfiguration(layer, configurationFile) == 0;
    std::this_thread::sleep_for(kSettleTime);
    unsigned controlImage = 0;
    layer.WriteRegister(kControlRegister, controlImage | kPulseBit);
    layer.WriteRegister(kControlRegister, controlImage & ~kPulseBit);
    std::this_thread::sleep_for(kSettleTime);

    const auto deadline = std::chrono::steady_clock::now() + pollLimit;
    for (;;) {
        const unsigned status = layer.ReadRegister(kTypeRegister);
        if (status >= kTypeShownMinimum) {
            typeWord_ = static_cast<std::uint16_t>(status >> kTypeWordShift);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(pollPause);
    }
}

}  // namespace ZmCoreLib_v4
