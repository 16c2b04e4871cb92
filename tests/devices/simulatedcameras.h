// A fixture with simulated cameras on a bus of their own: discovery, the camera objects built
// by the library's creators, and the cameras' request logs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/environment.h"
#include "hardware/simdriver/simulatordriver.h"
#include "platform/messagebox.h"
#include "simulator/cameraconfig.h"
#include "simulator/simulatedbus.h"

namespace ZmCoreLib_v4::testing_support {

class SimulatedCameras : public ::testing::Test {
protected:
    void SetUp() override {
        previousHandler_ =
            platform::setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                messages_.push_back(caption + ": " + text);
            });
    }
    void TearDown() override {
        environment_.reset();
        platform::setMessageBoxHandler(previousHandler_);
    }

    // Runs discovery over a bus of `cameras` (the ZMCORE_SIMULATE form), with no bus-rate limit.
    void attach(const std::string& cameras) {
        using namespace std::chrono_literals;
        bus_ = std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(cameras), 0);
        driver_ = std::make_unique<SimulatorDriver>(bus_);
        DiscoveryLimits limits;
        limits.pollPause = 10ms;
        limits.settleLimit = 5000ms;
        limits.probeLimit = 2000ms;
        environment_ = std::make_unique<Environment>(*driver_, limits);
    }

    // The entries of the camera list.
    std::vector<ZmCoreLib::IPair*> entries() {
        std::vector<ZmCoreLib::IPair*> result;
        ZmCoreLib::IPairIterator* names = environment_->GetDeviceNames();
        for (names->First(); !names->IsDone(); names->Next()) result.push_back(names->Current());
        names->Release();
        return result;
    }

    // A new creator for the camera list's entry `index`.
    ZmCoreLib::IDeviceCreator* creator(std::size_t index = 0) {
        const std::vector<ZmCoreLib::IPair*> listed = entries();
        if (index >= listed.size()) return nullptr;
        return environment_->GetDeviceCreator(listed[index]);
    }

    // The camera object of the entry `index`, built by a new creator (null when none is built).
    Device* createDevice(std::size_t index = 0) {
        ZmCoreLib::IDeviceCreator* made = creator(index);
        return made != nullptr ? dynamic_cast<Device*>(made->CreateDevice()) : nullptr;
    }

    simulator::SimulatedCamera& camera(std::size_t port = 0) { return *bus_->cameras().at(port); }

    std::vector<std::string> messages_;
    platform::MessageBoxHandler previousHandler_;
    std::shared_ptr<simulator::SimulatedBus> bus_;
    std::unique_ptr<SimulatorDriver> driver_;
    std::unique_ptr<Environment> environment_;
};

}  // namespace ZmCoreLib_v4::testing_support
