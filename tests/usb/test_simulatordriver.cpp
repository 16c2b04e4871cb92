// The simulator driver tells its watcher when simulated cameras leave the bus or attach to it,
// and its device list shows the change once it has told it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "hardware/simdriver/simulatordriver.h"
#include "simulator/cameraconfig.h"
#include "simulator/simulatedbus.h"
#include "watchcalls.h"

namespace {

using namespace std::chrono_literals;
using ZmCoreLib_v4::SimulatorDriver;
using ZmCoreLib_v4::UsbDeviceEntry;
using ZmCoreLib_v4::testing_support::WatchCalls;

class SimulatorDriverWatch : public testing::Test {
protected:
    void SetUp() override {
        bus_ = std::make_shared<simulator::SimulatedBus>(
            simulator::parseCameraSet("pid=0x2200,serial=1;pid=0x2200,serial=2"), 0);
        driver_ = std::make_unique<SimulatorDriver>(bus_);
        driver_->watch(calls_.callback());
    }
    simulator::SimulatedCamera& camera(int i) { return *bus_->cameras()[static_cast<std::size_t>(i)]; }
    // Waits for calls until, after one of them, `shown` holds.
    template <class Predicate>
    bool toldUntil(int seen, Predicate shown) {
        while (calls_.waitBeyond(seen)) {
            seen = calls_.count();
            if (shown()) return true;
        }
        return false;
    }

    WatchCalls calls_;  // outlives the driver, which stops calling it when it goes
    std::shared_ptr<simulator::SimulatedBus> bus_;
    std::unique_ptr<SimulatorDriver> driver_;
};

TEST_F(SimulatorDriverWatch, DepartureAndReturnAreToldAndListed) {
    ASSERT_EQ(driver_->deviceCount(), 2);
    int seen = calls_.count();
    camera(1).unplug();
    ASSERT_TRUE(calls_.waitBeyond(seen)) << "departure not told";
    EXPECT_EQ(driver_->deviceCount(), 1);

    seen = calls_.count();
    camera(1).replug();
    ASSERT_TRUE(calls_.waitBeyond(seen)) << "return not told";
    ASSERT_EQ(driver_->deviceCount(), 2);
    UsbDeviceEntry entry;
    ASSERT_TRUE(driver_->deviceEntry(1, &entry));
    EXPECT_EQ(entry.path, "/simulator/port2");
    EXPECT_NE(driver_->open(1), nullptr);
}

TEST_F(SimulatorDriverWatch, PortCycleIsToldUntilTheCameraIsBack) {
    ASSERT_EQ(driver_->deviceCount(), 2);
    const auto before = camera(0).attachedGeneration();
    const int seen = calls_.count();
    {
        auto handle = driver_->open(0);
        ASSERT_NE(handle, nullptr);
        std::uint32_t returned = 0;
        ASSERT_TRUE(
            handle->ioControl(ZmCoreLib_v4::ioctl::kCyclePort, nullptr, 0, nullptr, 0, &returned, nullptr));
    }
    EXPECT_EQ(driver_->deviceCount(), 1) << "away while re-attaching";
    EXPECT_TRUE(toldUntil(seen, [&] {
        return driver_->deviceCount() == 2 && camera(0).attachedGeneration() != before;
    })) << "re-attachment not told";
}

TEST_F(SimulatorDriverWatch, TimedUnplugAndReplugAreToldApart) {
    // A bus of its own: the times count from its start.
    bus_ = std::make_shared<simulator::SimulatedBus>(
        simulator::parseCameraSet("pid=0x2200;pid=0x2200,unplug=0.5,replug=1"), 0);
    driver_ = std::make_unique<SimulatorDriver>(bus_);
    driver_->watch(calls_.callback());
    const std::uint64_t before = *camera(1).attachedGeneration();
    const int seen = calls_.count();
    EXPECT_TRUE(toldUntil(seen, [&] {
        const auto generation = camera(1).attachedGeneration();
        return driver_->deviceCount() == 2 && generation && *generation > before;
    }));
    // The bus tells a departure before the return, even when it comes late to both.
    EXPECT_GE(calls_.count() - seen, 2);
}

TEST_F(SimulatorDriverWatch, ALaterWatchReplacesTheCallback) {
    WatchCalls replacement;
    driver_->watch(replacement.callback());
    const int firstSeen = calls_.count();
    camera(0).unplug();
    ASSERT_TRUE(replacement.waitBeyond(0));
    EXPECT_EQ(calls_.count(), firstSeen);
    driver_->watch({});
}

}  // namespace
