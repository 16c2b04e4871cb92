// A USB bus with simulated cameras on numbered ports, sharing one bus clock.
//
// The bus lists the cameras attached now, in port order; a camera that is re-attaching is absent
// until it is back. Every member may be called from any thread; the cameras outlive every
// handle that holds them (shared ownership).
#pragma once

#include <memory>
#include <vector>

#include "simulator/cameraconfig.h"
#include "simulator/simulatedcamera.h"

namespace simulator {

class BusClock;

class SimulatedBus {
public:
    SimulatedBus(const std::vector<CameraConfig>& cameras, unsigned busRateMBps);
    ~SimulatedBus();

    struct AttachedCamera {
        std::shared_ptr<SimulatedCamera> camera;
        std::uint64_t generation;
    };
    // The cameras present now, in port order.
    std::vector<AttachedCamera> attachedCameras() const;
    // Every camera, present or not, in port order (ports count from 1).
    const std::vector<std::shared_ptr<SimulatedCamera>>& cameras() const { return cameras_; }

private:
    std::shared_ptr<BusClock> clock_;
    std::vector<std::shared_ptr<SimulatedCamera>> cameras_;
};

}  // namespace simulator
