// The driver of simulated cameras: the camera interface class's I/O-control codes and request
// records, carried to the cameras of a simulated bus.
//
// Threads: every operation may be called from any thread. Control transfers finish inside
// ioControl after the camera's control latency (well under a millisecond), so they are reported
// as already finished. Bulk IN transfers are queued at the camera and finish later on its bulk
// server thread, which completes the request's Overlapped. Closing a handle cancels its pending
// transfers and waits until each has completed (bounded: cancelled requests finish within one
// bus chunk). Watching runs the callback on the simulated bus's thread, for every departure and
// attachment the bus tells.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hardware/driver/usbdriver.h"
#include "simulator/simulatedbus.h"

namespace ZmCoreLib_v4 {

class SimulatorDriver final : public UsbDriver {
public:
    explicit SimulatorDriver(std::shared_ptr<simulator::SimulatedBus> bus);
    // Stops watching: the bus may outlive the driver.
    ~SimulatorDriver() override;

    // The simulated bus, for tests to reach its cameras.
    simulator::SimulatedBus& bus() { return *bus_; }
    // Makes `camera` look claimed by another program, as `users` tells (empty: free again):
    // opening it fails with EBUSY and its entry names `users`. Handles open already keep working.
    void holdElsewhere(const simulator::SimulatedCamera& camera, std::string users);

    int deviceCount() override;
    bool deviceEntry(int index, UsbDeviceEntry* entry) override;
    std::unique_ptr<UsbDriverHandle> open(int index) override;
    void watch(std::function<void()> changed) override;

private:
    const std::shared_ptr<simulator::SimulatedBus> bus_;
    std::mutex mutex_;                                             // guards listed_ and heldElsewhere_
    std::vector<simulator::SimulatedBus::AttachedCamera> listed_;  // as of the last deviceCount()
    std::map<const simulator::SimulatedCamera*, std::string> heldElsewhere_;
};

}  // namespace ZmCoreLib_v4
