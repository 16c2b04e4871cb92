// How long four simulated cameras take from nothing to streaming: discovery (firmware downloads,
// probes, re-attachment), creation (each camera's FPGA configuration and register reads), and
// Open and Start until every camera's FPGA has its acquisition enabled, as a client does it.
//
// The protocol's own waits are counted apart: each wave of re-attaching cameras (one per
// discovery pass that reprogrammed a camera), each pass's probe pauses, and the settle pauses
// of an acquisition start. What is left is what the library itself spends: control requests,
// and cameras waiting for one another.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/device.h"
#include "devices/environment.h"
#include "devices/typeprobe.h"
#include "hardware/simdriver/simulatordriver.h"
#include "platform/concurrently.h"
#include "simulator/cameraconfig.h"
#include "simulator/simulatedbus.h"
#include "simulator/simulatedcamera.h"
#include "zmcorelib/pair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Two cameras renumerated directly, two recognised by probing (one with the larger Kodak
// configuration), as the first four of the demonstration set.
constexpr const char* kCameras =
    "pid=0x2131,serial=1001;"
    "pid=0x2011,type=0x2280,serial=1002,controller=2002;"
    "pid=0x2125,serial=1003;"
    "pid=0x2031,type=0x6214,channel=20,serial=1004,controller=2004";
constexpr unsigned kBufferManager = 0xE2000C;
constexpr unsigned kAcquisitionEnable = 1u << 2;
constexpr auto kStreamingLimit = 30s;
// The probe configuration's file name, as the simulated FPGA names the design it took.
constexpr const char* kProbeDesign = "zmu0100.bit";

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

void BM_StartUpFourCameras(benchmark::State& state) {
    for (auto _ : state) {
        const auto bus = std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(kCameras),
                                                                   simulator::kDefaultBusRateMBps);
        ZmCoreLib_v4::SimulatorDriver driver(bus);
        const auto start = Clock::now();
        ZmCoreLib_v4::Environment environment(driver);
        const auto discovered = Clock::now();

        std::vector<ZmCoreLib::IDeviceCreator*> creators;
        ZmCoreLib::IPairIterator* names = environment.GetDeviceNames();
        for (names->First(); !names->IsDone(); names->Next())
            creators.push_back(environment.GetDeviceCreator(names->Current()));
        names->Release();
        // As the viewer and the element do: every camera at once.
        std::vector<ZmCoreLib::IDevice*> devices(creators.size());
        platform::runConcurrently(creators.size(),
                                  [&](std::size_t i) { devices[i] = creators[i]->CreateDevice(); });
        const auto created = Clock::now();
        if (devices.size() != bus->cameras().size() || std::ranges::count(devices, nullptr) > 0) {
            state.SkipWithError("not every simulated camera was built");
            return;
        }
        for (ZmCoreLib::IDevice* device : devices) {
            device->Open();
            device->Start();
        }
        const auto streamingBy = [&] {
            return std::ranges::all_of(bus->cameras(), [](const auto& camera) {
                return (camera->registerValue(kBufferManager) & kAcquisitionEnable) != 0;
            });
        };
        while (!streamingBy() && Clock::now() - start < kStreamingLimit) std::this_thread::sleep_for(1ms);
        const auto streaming = Clock::now();
        if (!streamingBy()) state.SkipWithError("not every camera started streaming");

        // Cameras reprogrammed in one pass re-attach together; a camera is reprogrammed once per
        // pass, so the passes are as many as the most starts any camera saw. Probes likewise.
        int waves = 0;
        int probePasses = 0;
        for (const auto& camera : bus->cameras()) {
            int starts = 0;
            int probes = 0;
            for (const std::string& note : camera->log().events()) {
                if (contains(note, "firmware started")) ++starts;
                // The probe design, loaded between a camera's first and second firmware start.
                if (starts == 1 && contains(note, "configured with") && contains(note, kProbeDesign))
                    ++probes;
            }
            waves = std::max(waves, starts);
            probePasses = std::max(probePasses, probes);
        }
        const auto fixed =
            waves * simulator::SimulatedCamera::kReattachDelay +
            probePasses * (ZmCoreLib_v4::kProbeSettle + 2 * ZmCoreLib_v4::TypeProbe::kSettleTime) +
            ZmCoreLib_v4::Device::kStartPulseSettle + ZmCoreLib_v4::Device::kAcquisitionSettle;
        const double total = Seconds(streaming - start).count();
        state.counters["total_s"] = total;
        state.counters["fixed_waits_s"] = Seconds(fixed).count();
        state.counters["beyond_fixed_s"] = total - Seconds(fixed).count();
        state.counters["discovery_s"] = Seconds(discovered - start).count();
        state.counters["creation_s"] = Seconds(created - discovered).count();
        state.counters["open_to_streaming_s"] = Seconds(streaming - created).count();
        for (ZmCoreLib::IDevice* device : devices) device->Close();
    }
}

BENCHMARK(BM_StartUpFourCameras)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
