// The library's one environment: finds the cameras on the bus, brings each into its final USB
// identity and lists them; hands out device creators for the listed cameras.
//
// Threads: discovery runs in the constructor and blocks the caller's thread (firmware
// downloads, probes, waits for re-attaching cameras: each wait bounded by DiscoveryLimits); the
// cameras of one pass are probed and reprogrammed side by side on threads the constructor joins
// before the pass ends.
// GetDeviceNames and GetDeviceCreator may be called from any thread once constructed, one
// GetDeviceCreator at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/pair.h"
#include "hardware/driver/usbdriver.h"
#include "zmcorelib/device.h"

namespace ZmCoreLib_v4 {

class DeviceCreator;

// The probe FPGA needs a moment after its type word became readable.
inline constexpr auto kProbeSettle = std::chrono::milliseconds(100);

// How long discovery waits for things the cameras do on their own.
struct DiscoveryLimits {
    // Between two looks at the bus or a register: a camera that has attached again is seen within
    // this, and a look costs a device open (a few control requests).
    std::chrono::milliseconds pollPause{5};
    // Until the bus settles after a renumeration pass (cameras re-attached, count as at census).
    std::chrono::milliseconds settleLimit{10000};
    std::chrono::milliseconds probeLimit{10000};  // until a probed camera shows its type word
    int renumerationPasses = 8;                   // passes that may reprogram cameras
};

class Environment final : public ZmCoreLib::IEnvironment {
public:
    static constexpr int kDeviceSlots = 16;
    // Caption of the messages discovery shows about cameras it leaves out.
    static constexpr const char* kMessageCaption = "Zmcorelib Error";

    // Runs discovery over `driver`, which must outlive the environment.
    explicit Environment(UsbDriver& driver = usbDriver(), const DiscoveryLimits& limits = {});
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    ZmCoreLib::IPairIterator* GetDeviceNames() override;
    ZmCoreLib::IDeviceCreator* GetDeviceCreator(ZmCoreLib::IPair* entry) override;

private:
    void discover();

    UsbDriver& driver_;
    const DiscoveryLimits limits_;
    std::vector<ZmCoreLib::Pair> devices_;
    std::vector<std::unique_ptr<DeviceCreator>> creators_;
};

// The process's environment, built (running discovery) on the first call. The first call must
// not race with another first call. Destroyed when the library is unloaded.
Environment& processEnvironment();

// The product id and release a camera gets in place of `productId`; `typeWord` is asked only for
// the probe identities (and called at most once). Nullopt: the camera keeps its identity.
struct UsbIdentity {
    std::uint16_t productId;
    std::uint16_t release;
    friend bool operator==(const UsbIdentity&, const UsbIdentity&) = default;
};
bool isProbeIdentity(std::uint16_t productId);
std::optional<UsbIdentity> renumeratedIdentity(std::uint16_t productId);
std::optional<UsbIdentity> probedIdentity(std::uint16_t typeWord);

}  // namespace ZmCoreLib_v4
