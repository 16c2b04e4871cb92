// How well the library keeps the USB link busy, and how soon a frame reaches the client:
//  - delivered / bus rate: simulated cameras at their shortest frame period on one bus at the
//    default rate; the bytes the cameras put on the wire in a window, from their request logs,
//    over what the rate allows in that window;
//  - latency: from the end of a frame's readout in the camera (its capture, from the camera's log)
//    to the client's GetFrame of that frame (its number read back from the pixels), against the
//    frame's time on the wire, which no host can beat.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devices/device.h"
#include "devices/environment.h"
#include "devices/settingids.h"
#include "hardware/simdriver/simulatordriver.h"
#include "simulator/cameraconfig.h"
#include "simulator/framepattern.h"
#include "simulator/simulatedbus.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/pair.h"
#include "zmcorelib/setting.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ZmCoreLib_v4::Device;

constexpr auto kWarmUp = 1s;
constexpr auto kWindow = 4s;
constexpr unsigned kBusRateMBps = simulator::kDefaultBusRateMBps;
// A family A camera without rotation: the first pixel of a frame names its number.
constexpr const char* kCameraModel = "pid=0x0200";

// Takes every frame as soon as the camera announces it and notes when it had it.
class Consumer final : public ZmCoreLib::IFrameBufferObserver {
public:
    explicit Consumer(ZmCoreLib::IFrameBuffer* output) : output_(output), thread_([this] { run(); }) {
        output_->AddObserver(this);
    }
    ~Consumer() {
        output_->RemoveObserver(this);
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }
    void OnFrameReady(int) override {
        std::lock_guard lock(mutex_);
        ++announced_;
        ready_.notify_one();
    }
    // Frame number (mod 2^16) -> when GetFrame returned it.
    std::map<std::uint32_t, Clock::time_point> taken() {
        std::lock_guard lock(mutex_);
        return taken_;
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            ready_.wait_for(lock, 100ms, [this] { return stopping_ || announced_ > 0; });
            announced_ = 0;
            lock.unlock();
            while (ZmCoreLib::IFrame* frame = output_->GetFrame()) {
                const auto now = Clock::now();
                const auto number = simulator::patternFrameNumber(
                    *static_cast<const std::uint16_t*>(frame->GetData()), 0, 0, 16);
                frame->Release();
                std::lock_guard noted(mutex_);
                taken_[number] = now;
            }
            lock.lock();
        }
    }

    ZmCoreLib::IFrameBuffer* const output_;
    std::mutex mutex_;  // guards everything below
    std::condition_variable ready_;
    int announced_ = 0;
    bool stopping_ = false;
    std::map<std::uint32_t, Clock::time_point> taken_;
    std::thread thread_;
};

void setToMinimum(Device& device, unsigned id) {
    ZmCoreLib::ISettingScalar* scalar = device.FindSetting(id)->GetScalar();
    scalar->SetValue(scalar->GetMin(scalar->GetUnit()));
}

// Arguments: the number of cameras, and their frame period in milliseconds (0: the shortest).
void BM_Link(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int framePeriodMs = static_cast<int>(state.range(1));
    std::string cameras;
    for (int i = 1; i <= count; ++i)
        cameras += std::string(i > 1 ? ";" : "") + kCameraModel + ",serial=" + std::to_string(i);
    const auto bus =
        std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(cameras), kBusRateMBps);
    ZmCoreLib_v4::SimulatorDriver driver(bus);
    ZmCoreLib_v4::Environment environment(driver);
    std::vector<Device*> devices;  // owned by their creators in the environment
    ZmCoreLib::IPairIterator* names = environment.GetDeviceNames();
    for (names->First(); !names->IsDone(); names->Next()) {
        devices.emplace_back(
            dynamic_cast<Device*>(environment.GetDeviceCreator(names->Current())->CreateDevice()));
    }
    names->Release();
    if (static_cast<int>(devices.size()) != count || std::ranges::count(devices, nullptr) > 0) {
        state.SkipWithError("not every simulated camera was built");
        return;
    }
    std::vector<std::unique_ptr<Consumer>> consumers;
    for (Device* device : devices) {
        setToMinimum(*device, ZmCoreLib_v4::ids::kExposure);
        setToMinimum(*device, ZmCoreLib_v4::ids::kFramePeriod);
        if (framePeriodMs > 0) {
            ZmCoreLib::ISettingScalar* period =
                device->FindSetting(ZmCoreLib_v4::ids::kFramePeriod)->GetScalar();
            period->SetUnit(ZmCoreLib::kUnitMillisecond);
            period->SetValue(framePeriodMs);
        }
        consumers.push_back(std::make_unique<Consumer>(device->Open()));
        device->Start();
    }
    for (auto _ : state) {
        std::this_thread::sleep_for(kWarmUp);
        const auto windowStart = Clock::now();
        std::this_thread::sleep_for(kWindow);
        const auto windowEnd = Clock::now();

        double bytes = 0;
        std::vector<double> latencies;
        int frameEnds = 0;
        for (std::size_t c = 0; c < devices.size(); ++c) {
            const auto taken = consumers[c]->taken();
            for (const simulator::LoggedRequest& entry : bus->cameras()[c]->log().snapshot()) {
                if (entry.kind != simulator::LoggedRequest::Kind::BulkIn) continue;
                if (entry.time < windowStart || entry.time >= windowEnd) continue;
                bytes += static_cast<double>(entry.delivered);
                if (entry.frame == 0) continue;
                ++frameEnds;
                const auto client = taken.find(entry.frame & 0xFFFF);
                if (client != taken.end() && client->second >= entry.frameCaptured) {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(client->second - entry.frameCaptured)
                            .count());
                }
            }
        }
        const double window = std::chrono::duration<double>(windowEnd - windowStart).count();
        state.counters["delivered_per_bus_rate"] = bytes / (kBusRateMBps * 1e6 * window);
        if (!latencies.empty()) {
            std::ranges::sort(latencies);
            state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
            state.counters["latency_max_ms"] = latencies.back();
            state.counters["frames"] = static_cast<double>(latencies.size());
        }
        if (frameEnds > 0) state.counters["wire_ms_per_frame"] = bytes / frameEnds / (kBusRateMBps * 1e3);
    }
    consumers.clear();  // before the cameras free their output buffers
    for (Device* device : devices) device->Close();
}

// Utilisation at the shortest period; latency where the wire keeps up with the camera (a frame
// takes about 74 ms on the wire).
BENCHMARK(BM_Link)
    ->ArgNames({"cameras", "period_ms"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({1, 100})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
