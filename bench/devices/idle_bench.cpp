// What an open, started camera costs while it waits for its next frame, as a share of one core
// of processor time over a few seconds:
//  - over a simulated camera, for the whole process: the camera and repack threads, the USB
//    access layer and the simulated camera answering them. Either the camera is switched to its
//    external trigger input after its first frame, and nobody pulses it, so it waits the whole
//    time; or it runs on its own timer with a frame period of a second and a small frame, so
//    that it waits almost the whole time between frames that cost next to nothing;
//  - over a quiet camera whose register reads take as long as a USB control request but cost no
//    processor time and never show a frame: the library's own threads alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/device.h"
#include "devices/devicemt9m032.h"
#include "devices/devicesonyicx285b.h"
#include "devices/environment.h"
#include "devices/modelselection.h"
#include "devices/settingids.h"
#include "hardware/simdriver/simulatordriver.h"
#include "simulator/cameraconfig.h"
#include "simulator/simulatedbus.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/setting.h"

namespace {

using namespace std::chrono_literals;
using ZmCoreLib_v4::Device;

constexpr auto kMeasurement = 3s;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Waits (bounded) for one finished frame and gives it back.
bool takeFrame(ZmCoreLib::IFrameBuffer* output) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ZmCoreLib::IFrame* frame = output->GetFrame()) {
            frame->Release();
            return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// Measures the process's processor time while the started `device` waits.
void measureWaiting(benchmark::State& state) {
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(kMeasurement);
        const double cpu = processCpuSeconds() - cpuBefore;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
    }
}

enum class Waiting { ExternalTrigger, LongFramePeriod };

constexpr int kLongFramePeriodMs = 1000;
constexpr int kSmallFrameSide = 64;

void setScalar(Device& device, unsigned id, int unit, int value) {
    ZmCoreLib::ISettingScalar* scalar = device.FindSetting(id)->GetScalar();
    if (unit != 0) scalar->SetUnit(unit);
    scalar->SetValue(value);
}

void BM_IdleStartedSimulatedCamera(benchmark::State& state, const std::string& camera, Waiting waiting) {
    const auto bus = std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(camera),
                                                               simulator::kDefaultBusRateMBps);
    ZmCoreLib_v4::SimulatorDriver driver(bus);
    ZmCoreLib_v4::Environment environment(driver);
    ZmCoreLib::IPairIterator* names = environment.GetDeviceNames();
    names->First();
    if (names->IsDone()) {
        names->Release();
        state.SkipWithError("the simulated camera was not found");
        return;
    }
    auto* device = dynamic_cast<Device*>(environment.GetDeviceCreator(names->Current())->CreateDevice());
    names->Release();
    if (device == nullptr) {
        state.SkipWithError("no camera object was built");
        return;
    }
    if (waiting == Waiting::LongFramePeriod) {
        setScalar(*device, ZmCoreLib_v4::ids::kFrameWidth, 0, kSmallFrameSide);
        setScalar(*device, ZmCoreLib_v4::ids::kFrameHeight, 0, kSmallFrameSide);
        setScalar(*device, ZmCoreLib_v4::ids::kFramePeriod, ZmCoreLib::kUnitMillisecond, kLongFramePeriodMs);
    }
    ZmCoreLib::IFrameBuffer* output = device->Open();
    device->Start();
    bool first = takeFrame(output);
    if (waiting == Waiting::ExternalTrigger) {
        device->FindSetting(ZmCoreLib_v4::ids::kInputSource)
            ->GetEnum()
            ->SetValue(ZmCoreLib_v4::ids::kSourceExternalTtl);
        // The camera thread writes the new source and restarts the acquisition within its settle time.
        std::this_thread::sleep_for(1s);
    } else {
        // A second frame: the camera has seen its timer run once.
        first = first && takeFrame(output);
    }
    // Frames that arrive while measuring are given back as the client would.
    std::jthread client([output](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (ZmCoreLib::IFrame* frame = output->GetFrame()) frame->Release();
            std::this_thread::sleep_for(250ms);
        }
    });
    measureWaiting(state);
    client.request_stop();
    client.join();
    if (!first) state.SkipWithError("no frame arrived");
    device->Close();
}

// Register reads take as long as a USB control request, asleep; no frame is ever ready.
class QuietCameraLayer final : public ZmCoreLib_v4::IHwLayer {
public:
    void WriteRegister(unsigned, unsigned) override { std::this_thread::sleep_for(kControlLatency); }
    unsigned ReadRegister(unsigned) override {
        std::this_thread::sleep_for(kControlLatency);
        return 0;
    }
    void VendorWrite(int, unsigned, const void*, int) override {
        std::this_thread::sleep_for(kControlLatency);
    }
    void VendorRead(int, unsigned, void*, int) override { std::this_thread::sleep_for(kControlLatency); }
    bool ReadData(void*, const int*, int) override { return false; }

private:
    static constexpr auto kControlLatency = 120us;
};

void BM_IdleStartedCameraThreads(
    benchmark::State& state,
    const std::function<std::unique_ptr<Device>(std::unique_ptr<QuietCameraLayer>)>& make) {
    const std::unique_ptr<Device> device = make(std::make_unique<QuietCameraLayer>());
    device->Open();
    device->Start();
    // Past the start-up settle time: the camera now polls for its first frame.
    std::this_thread::sleep_for(1s);
    measureWaiting(state);
    device->Close();
}

#define ZM_IDLE_BENCHMARK(...) \
    BENCHMARK_CAPTURE(__VA_ARGS__)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime()

ZM_IDLE_BENCHMARK(BM_IdleStartedSimulatedCamera, familyA_MT9M032_externalTrigger,
                  std::string("pid=0x0200,serial=1"), Waiting::ExternalTrigger);
ZM_IDLE_BENCHMARK(BM_IdleStartedSimulatedCamera, familyB_SonyIcx285B_externalTrigger,
                  std::string("pid=0x2125,serial=2"), Waiting::ExternalTrigger);
ZM_IDLE_BENCHMARK(BM_IdleStartedSimulatedCamera, familyA_MT9M032_periodOneSecond,
                  std::string("pid=0x0200,serial=1"), Waiting::LongFramePeriod);
ZM_IDLE_BENCHMARK(BM_IdleStartedSimulatedCamera, familyB_SonyIcx285B_periodOneSecond,
                  std::string("pid=0x2125,serial=2"), Waiting::LongFramePeriod);
ZM_IDLE_BENCHMARK(BM_IdleStartedCameraThreads, familyA_MT9M032, [](std::unique_ptr<QuietCameraLayer> layer) {
    return std::unique_ptr<Device>(std::make_unique<ZmCoreLib_v4::DeviceMT9M032>(std::move(layer), 1));
});
ZM_IDLE_BENCHMARK(BM_IdleStartedCameraThreads, familyB_SonyIcx285B,
                  [](std::unique_ptr<QuietCameraLayer> layer) {
                      return std::unique_ptr<Device>(std::make_unique<ZmCoreLib_v4::DeviceSonyIcx285B>(
                          std::move(layer), ZmCoreLib_v4::kSensorIcx285, 0, 1, 0));
                  });

}  // namespace
