#include "simulator/simulatedbus.h"

#include "simulator/busclock.h"

namespace simulator {

SimulatedBus::SimulatedBus(const std::vector<CameraConfig>& cameras, unsigned busRateMBps)
    : clock_(std::make_shared<BusClock>(busRateMBps)) {
    int port = 1;
    for (const CameraConfig& config : cameras)
        cameras_.push_back(std::make_shared<SimulatedCamera>(port++, config, clock_));
}

SimulatedBus::~SimulatedBus() = default;

std::vector<SimulatedBus::AttachedCamera> SimulatedBus::attachedCameras() const {
    std::vector<AttachedCamera> attached;
    for (const auto& camera : cameras_) {
        if (const auto generation = camera->attachedGeneration()) attached.push_back({camera, *generation});
    }
    return attached;
}

}  // namespace simulator
