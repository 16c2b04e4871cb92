#include "devices/environment.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <thread>

#include "devices/devicecreator.h"
#include "devices/firmware.h"
#include "devices/typeprobe.h"
#include "hardware/hwlayerusbfx2.h"
#include "hardware/usb/usbdevice.h"
#include "platform/concurrently.h"
#include "platform/messagebox.h"

namespace ZmCoreLib_v4 {

namespace {

using Clock = std::chrono::steady_clock;

// Boot product id -> product id written into the firmware (release 0).
struct Renumeration {
    std::uint16_t bootProductId;
    std::uint16_t productId;
};
constexpr Renumeration kRenumerationTable[] = {
    {0x0200, 0x9100}, {0x2011, 0x2010}, {0x2031, 0x2030}, {0x2111, 0x2110}, {0x2115, 0x2114},
    {0x2119, 0x2118}, {0x211D, 0x211C}, {0x2121, 0x2120}, {0x2125, 0x2124}, {0x2129, 0x2128},
    {0x212D, 0x212C}, {0x212F, 0x212E}, {0x2131, 0x2130}, {0x2135, 0x2134}, {0x2139, 0x2138},
    {0x213D, 0x213C}, {0x2201, 0x2120}, {0x2221, 0x2120}, {0x2311, 0x2310}, {0x6100, 0x6180},
};

// Type word a probed camera shows -> its identity.
struct ProbeAnswer {
    std::uint16_t typeWord;
    UsbIdentity identity;
};
constexpr ProbeAnswer kProbeTable[] = {
    {0x6110, {0x6110, 1}}, {0x6114, {0x6114, 1}}, {0x6118, {0x6118, 1}}, {0x611C, {0x611C, 1}},
    {0x6120, {0x6120, 2}}, {0x6124, {0x6124, 1}}, {0x6128, {0x6128, 1}}, {0x612C, {0x612C, 1}},
    {0x6130, {0x6130, 1}}, {0x6134, {0x6134, 1}}, {0x6138, {0x6138, 1}}, {0x613C, {0x613C, 1}},
    {0x6214, {0x6214, 1}}, {0x621C, {0x6214, 1}}, {0x2280, {0x6120, 1}}, {0x2380, {0x6124, 1}},
};

constexpr std::uint16_t kProbeIdentities[] = {0x2010, 0x2030};

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// The driver's 8-bit friendly name widened one byte at a time in the current locale; a byte the
// locale cannot convert on its own becomes U+FFFD.
std::u16string widenFriendlyName(const std::string& name) {
    constexpr char16_t kReplacement = 0xFFFD;
    std::u16string wide;
    for (char byte : name) {
        std::mbstate_t state{};
        wchar_t converted = 0;
        const std::size_t used = std::mbrtowc(&converted, &byte, 1, &state);
        wide.push_back(used == 1 && converted <= 0xFFFF ? static_cast<char16_t>(converted) : kReplacement);
    }
    return wide;
}

// Discovery over the 16 device slots.
class Discovery {
public:
    Discovery(UsbDriver& driver, const DiscoveryLimits& limits) : driver_(driver), limits_(limits) {
        for (auto& slot : slots_) slot = std::make_unique<UsbDevice>(kCameraInterfaceClass, false, driver);
    }

    std::vector<ZmCoreLib::Pair> run() {
        int n = slots_[0]->DeviceCount();
        if (n == 0) return {};
        if (n > Environment::kDeviceSlots) {
            problems_.push_back(std::to_string(n) + " devices are attached; only the first " +
                                std::to_string(Environment::kDeviceSlots) +
                                " are used. Detach the cameras you do not need and restart the program.");
            n = Environment::kDeviceSlots;
        }
        settle(n);
        return listing(n);
    }

    // Everything discovery could not do, one line per problem.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    struct Pass {
        int reprogrammed = 0;
        bool zeroSeen = false;
    };

    // Renumeration passes until the bus shows n devices that need nothing more.
    void settle(int n) {
        auto deadline = Clock::now() + limits_.settleLimit;
        int passes = 0;
        for (;;) {
            const std::optional<int> m = waitForBus(deadline);
            if (!m) {
                reportUnsettled();
                return;
            }
            const int present = std::min(*m, Environment::kDeviceSlots);
            const Pass pass = renumerationPass(present, passes < limits_.renumerationPasses);
            if (pass.reprogrammed > 0) {
                ++passes;
                deadline = Clock::now() + limits_.settleLimit;
                continue;
            }
            if (present == n && !pass.zeroSeen) return;
            if (Clock::now() >= deadline) {
                reportUnsettled();
                return;
            }
            std::this_thread::sleep_for(limits_.pollPause);
        }
    }

    // The number of present devices once there is at least one; nullopt at the deadline.
    std::optional<int> waitForBus(Clock::time_point deadline) {
        UsbDevice& first = *slots_[0];
        for (;;) {
            // A camera in use elsewhere is on the bus all the same.
            if (first.Open(0) || first.lastError() == EBUSY) {
                const int m = first.DeviceCount();
                first.Close();
                if (m > 0) return m;
            }
            if (Clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(limits_.pollPause);
        }
    }

    // One pass over every present device index. Every device is opened first, from the last
    // index down; then each camera that needs it is probed and reprogrammed on a thread of its
    // own, on its open handle, which keeps naming the same camera however the others leave the
    // bus and attach again meanwhile.
    Pass renumerationPass(int present, bool mayReprogram) {
        struct Work {
            UsbDevice* device;
            std::uint16_t productId;
            bool probed;
            std::string problem;
            bool reprogrammed = false;
            std::uint16_t target = 0;
        };
        Pass pass;
        std::vector<Work> work;
        for (int b = present - 1; b >= 0; --b) {
            UsbDevice& device = *slots_[b];
            const bool opened = device.Open(b);
            // A camera in use elsewhere is left as it is; the listing reports it.
            if (!opened && device.lastError() == EBUSY) continue;
            const std::uint16_t vendorId = opened ? device.vendorId() : 0;
            if (vendorId == 0) pass.zeroSeen = true;
            const std::uint16_t productId = vendorId == kCameraVendorId ? device.productId() : 0;
            const bool probed = productId != 0 && isProbeIdentity(productId);
            const bool due = productId != 0 && (probed || renumeratedIdentity(productId));
            if (due && !mayReprogram) stuck_.insert(b);
            if (due && mayReprogram) {
                work.push_back({&device, productId, probed, {}});
            } else {
                device.Close();
            }
        }
        platform::runConcurrently(work.size(), [&](std::size_t i) {
            Work& w = work[i];
            const auto target = w.probed ? probe(*w.device, &w.problem) : renumeratedIdentity(w.productId);
            if (!target) return;
            downloadFirmware(*w.device, target->productId, target->release);
            w.device->CyclePort();
            w.reprogrammed = true;
            w.target = target->productId;
        });
        std::vector<std::string> changes;
        for (Work& w : work) {
            w.device->Close();
            if (!w.problem.empty()) problems_.push_back(std::move(w.problem));
            if (!w.reprogrammed) continue;
            ++pass.reprogrammed;
            changes.push_back(hex4(w.productId) + " -> " + hex4(w.target));
        }
        if (pass.reprogrammed > 0) awaited_ = std::move(changes);
        return pass;
    }

    // Loads the probe configuration into the open `device` and reads its type word: its new
    // identity, or nullopt to leave it as it is, with *problem saying why when the camera did not
    // tell its type. Any thread; touches nothing of the discovery but `device`.
    std::optional<UsbIdentity> probe(UsbDevice& device, std::string* problem) const {
        std::uint16_t typeWord = 0;
        bool loaded = false;
        {
            HwLayerUsbFx2 layer(device);
            const TypeProbe typeProbe(layer, limits_.pollPause, limits_.probeLimit);
            std::this_thread::sleep_for(kProbeSettle);
            typeWord = typeProbe.typeWord();
            loaded = typeProbe.configurationLoaded();
        }
        if (typeWord == 0) {
            *problem =
                "The camera at device index " + std::to_string(device.deviceIndex()) +
                " did not tell its type within " + std::to_string(limits_.probeLimit.count()) +
                " ms and is listed as it is." +
                (loaded ? std::string(" Reconnect it and restart the program.")
                        : std::string(" The probe configuration ") + TypeProbe::kProbeConfigurationFile +
                              " could not be opened: start the program in the folder that "
                              "holds the cameras' configuration files.");
        }
        return probedIdentity(typeWord);
    }

    void reportUnsettled() {
        std::string text = "The cameras did not settle on the bus within " +
                           std::to_string(limits_.settleLimit.count()) + " ms";
        if (!awaited_.empty()) {
            text += " after reprogramming (product ids";
            for (const std::string& change : awaited_) text += " " + change;
            text += ")";
        }
        problems_.push_back(
            text + "; the cameras missing now are left out. Reconnect them and restart the program.");
    }

    // The cameras on the first n device indices, with their friendly names.
    std::vector<ZmCoreLib::Pair> listing(int n) {
        if (!stuck_.empty()) {
            problems_.push_back(std::to_string(stuck_.size()) +
                                " camera(s) still showed a boot identity after " +
                                std::to_string(limits_.renumerationPasses) +
                                " reprogramming passes. Reconnect them and restart the program.");
        }
        std::vector<ZmCoreLib::Pair> devices;
        for (int p = 0; p < n; ++p) {
            UsbDevice& device = *slots_[p];
            if (device.Open(p)) {
                if (device.vendorId() == kCameraVendorId)
                    devices.emplace_back(p, widenFriendlyName(device.friendlyName()));
            } else if (device.lastError() == EBUSY) {
                problems_.push_back(inUseElsewhereMessage(driver_, p));
            }
            device.Close();
        }
        return devices;
    }

    UsbDriver& driver_;
    const DiscoveryLimits& limits_;
    std::array<std::unique_ptr<UsbDevice>, Environment::kDeviceSlots> slots_;
    std::vector<std::string> awaited_;  // identities changed by the last pass that reprogrammed
    std::set<int> stuck_;               // device indices that needed a pass beyond the limit
    std::vector<std::string> problems_;
};

}  // namespace

bool isProbeIdentity(std::uint16_t productId) {
    return std::find(std::begin(kProbeIdentities), std::end(kProbeIdentities), productId) !=
           std::end(kProbeIdentities);
}

std::optional<UsbIdentity> renumeratedIdentity(std::uint16_t productId) {
    for (const Renumeration& row : kRenumerationTable) {
        if (row.bootProductId == productId) return UsbIdentity{row.productId, 0};
    }
    return std::nullopt;
}

std::optional<UsbIdentity> probedIdentity(std::uint16_t typeWord) {
    for (const ProbeAnswer& row : kProbeTable) {
        if (row.typeWord == typeWord) return row.identity;
    }
    return std::nullopt;
}

Environment::Environment(UsbDriver& driver, const DiscoveryLimits& limits)
    : driver_(driver), limits_(limits) {
    discover();
}

Environment::~Environment() = default;

void Environment::discover() {
    Discovery discovery(driver_, limits_);
    devices_ = discovery.run();
    if (discovery.problems().empty()) return;
    std::string text;
    for (const std::string& problem : discovery.problems()) text += (text.empty() ? "" : "\n") + problem;
    platform::showMessageBox(kMessageCaption, text);
}

ZmCoreLib::IPairIterator* Environment::GetDeviceNames() {
    return new ZmCoreLib::PairIterator(&devices_);
}

ZmCoreLib::IDeviceCreator* Environment::GetDeviceCreator(ZmCoreLib::IPair* entry) {
    if (entry == nullptr) return nullptr;
    // The creator builds its camera on the bus this environment found it on.
    creators_.push_back(
        std::make_unique<DeviceCreator>(ZmCoreLib::Pair(entry->GetKey(), entry->GetName()), driver_));
    return creators_.back().get();
}

Environment& processEnvironment() {
    static Environment environment;
    return environment;
}

}  // namespace ZmCoreLib_v4
