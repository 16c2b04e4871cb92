// Discovery over simulated cameras: the environment's own code, from the census to the listing,
// with the cameras answering as hardware does. The request logs show what each camera went
// through.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "devices/environment.h"
#include "hardware/simdriver/simulatordriver.h"
#include "platform/messagebox.h"
#include "platform/text.h"
#include "simulator/cameraconfig.h"
#include "simulator/simulatedbus.h"

namespace {

using namespace std::chrono_literals;
using ZmCoreLib_v4::DiscoveryLimits;
using ZmCoreLib_v4::Environment;

struct Listed {
    int key;
    std::string name;
    friend bool operator==(const Listed&, const Listed&) = default;
};

class Discovery : public testing::Test {
protected:
    void SetUp() override {
        previousHandler_ =
            platform::setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                messages_.push_back(caption + ": " + text);
            });
    }
    void TearDown() override { platform::setMessageBoxHandler(previousHandler_); }

    // Runs discovery over a bus of `cameras`; `prepare` may inject faults first.
    void discover(const std::string& cameras,
                  const std::function<void(ZmCoreLib_v4::SimulatorDriver&)>& prepare = {}) {
        bus_ = std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(cameras), 0);
        driver_ = std::make_unique<ZmCoreLib_v4::SimulatorDriver>(bus_);
        if (prepare) prepare(*driver_);
        DiscoveryLimits limits;
        limits.pollPause = 10ms;
        limits.settleLimit = 2000ms;
        limits.probeLimit = 1000ms;
        environment_ = std::make_unique<Environment>(*driver_, limits);
    }

    std::vector<Listed> listed() {
        std::vector<Listed> result;
        ZmCoreLib::IPairIterator* names = environment_->GetDeviceNames();
        for (names->First(); !names->IsDone(); names->Next()) {
            result.push_back({names->Current()->GetKey(), platform::toUtf8(names->Current()->GetName())});
        }
        names->Release();
        return result;
    }

    simulator::SimulatedCamera& camera(int i) { return *bus_->cameras()[static_cast<std::size_t>(i)]; }
    std::uint16_t productId(int i) { return camera(i).identity().productId; }

    std::vector<std::string> messages_;
    platform::MessageBoxHandler previousHandler_;
    std::shared_ptr<simulator::SimulatedBus> bus_;
    std::unique_ptr<ZmCoreLib_v4::SimulatorDriver> driver_;
    std::unique_ptr<Environment> environment_;
};

TEST_F(Discovery, BootCamerasAreReprogrammedOnceAndListedInIndexOrder) {
    discover("pid=0x2115,serial=1;pid=0x2221,serial=2");
    EXPECT_EQ(listed(), (std::vector<Listed>{{0, camera(0).friendlyName()}, {1, camera(1).friendlyName()}}));
    EXPECT_EQ(productId(0), 0x2114);
    EXPECT_EQ(productId(1), 0x2120);
    EXPECT_EQ(camera(0).log().firmwareDownloads(), 1);
    EXPECT_EQ(camera(1).log().firmwareDownloads(), 1);
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

struct ProbeCase {
    const char* camera;
    std::uint16_t productId;
    std::uint16_t release;
    int downloads;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.camera;
}

class ProbedCamera : public Discovery, public testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbedCamera, TypeWordSelectsTheNewIdentity) {
    discover(GetParam().camera);
    ASSERT_EQ(listed().size(), 1u);
    EXPECT_EQ(productId(0), GetParam().productId);
    EXPECT_EQ(camera(0).identity().release, GetParam().release);
    EXPECT_EQ(camera(0).log().firmwareDownloads(), GetParam().downloads);
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

INSTANTIATE_TEST_SUITE_P(Cases, ProbedCamera,
                         testing::Values(ProbeCase{"pid=0x2010,type=0x2280", 0x6120, 1, 1},
                                         ProbeCase{"pid=0x2010,type=0x6120", 0x6120, 2, 1},
                                         ProbeCase{"pid=0x2030,type=0x621C", 0x6214, 1, 1},
                                         ProbeCase{"pid=0x2030,type=0x2380", 0x6124, 1, 1},
                                         // Boot identity first, then the probe identity.
                                         ProbeCase{"pid=0x2011,type=0x2280", 0x6120, 1, 2},
                                         // An unknown type word leaves the camera as it is.
                                         ProbeCase{"pid=0x2010,type=0x1234", 0x2010, 0, 0}));

TEST_F(Discovery, DemonstrationSetEndsInTheIdentitiesOfItsModels) {
    discover("default");
    ASSERT_EQ(listed().size(), bus_->cameras().size());
    std::vector<std::pair<std::uint16_t, std::uint16_t>> identities;
    for (const auto& camera : bus_->cameras())
        identities.emplace_back(camera->identity().productId, camera->identity().release);
    EXPECT_EQ(identities, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{
                              {0x2130, 0}, {0x6120, 1}, {0x2124, 0}, {0x6214, 1}, {0x212E, 0}, {0x2310, 0}}));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
}

TEST_F(Discovery, ForeignDeviceIsNeitherReprogrammedNorListedNorHidesTheCameraBehindIt) {
    discover("vid=0x04B4,pid=0x2115;pid=0x2115");
    EXPECT_EQ(listed(), (std::vector<Listed>{{1, camera(1).friendlyName()}}));
    EXPECT_EQ(productId(0), 0x2115);
    EXPECT_EQ(camera(0).log().firmwareDownloads(), 0);
    EXPECT_EQ(productId(1), 0x2114);
}

TEST_F(Discovery, EmptyBusListsNothingAndSaysNothing) {
    discover("");
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(messages_.empty());
}

TEST_F(Discovery, BeyondSixteenDevicesTheFirstSixteenAreListedAndTheUserIsTold) {
    std::string cameras = "pid=0x2120";
    for (int i = 1; i < 17; ++i) cameras += ";pid=0x2120";
    discover(cameras);
    const auto found = listed();
    ASSERT_EQ(found.size(), 16u);
    EXPECT_EQ(found.front().key, 0);
    EXPECT_EQ(found.back().key, 15);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("17 devices"), std::string::npos) << messages_[0];
}

TEST_F(Discovery, CameraThatDoesNotComeBackIsLeftOutAndNamed) {
    discover("pid=0x2115;pid=0x2221",
             [](ZmCoreLib_v4::SimulatorDriver& driver) { driver.bus().cameras()[0]->failNextReattach(); });
    EXPECT_EQ(listed(), (std::vector<Listed>{{0, camera(1).friendlyName()}}));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("0x2115 -> 0x2114"), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find("left out"), std::string::npos) << messages_[0];
}

constexpr char kOtherUser[] = "process 4711 (zmcam)";

// A camera another program has claimed is not touched: neither reprogrammed nor listed, and
// discovery does not wait for it to settle. The user learns which camera it is and who holds it.
TEST_F(Discovery, CameraInUseElsewhereIsLeftAloneAndNamedWithItsUser) {
    discover("pid=0x2115,serial=1;pid=0x2221,serial=2", [](ZmCoreLib_v4::SimulatorDriver& driver) {
        driver.holdElsewhere(*driver.bus().cameras()[1], kOtherUser);
    });
    EXPECT_EQ(listed(), (std::vector<Listed>{{0, camera(0).friendlyName()}}));
    EXPECT_EQ(productId(0), 0x2114);
    EXPECT_EQ(productId(1), 0x2221);
    EXPECT_EQ(camera(1).log().snapshot().size(), 0u) << "the camera in use elsewhere received requests";
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(camera(1).friendlyName()), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find(kOtherUser), std::string::npos) << messages_[0];
}

// Claimed between the listing and its creation: nothing is built and the user is told why.
TEST_F(Discovery, CameraClaimedElsewhereAfterTheListingIsNotBuiltAndNamed) {
    discover("pid=0x2120,serial=1");
    ASSERT_EQ(listed().size(), 1u);
    driver_->holdElsewhere(camera(0), kOtherUser);
    const std::size_t requests = camera(0).log().snapshot().size();
    ZmCoreLib::IPairIterator* names = environment_->GetDeviceNames();
    names->First();
    ZmCoreLib::IDeviceCreator* creator = environment_->GetDeviceCreator(names->Current());
    names->Release();
    EXPECT_EQ(creator->CreateDevice(), nullptr);
    EXPECT_EQ(camera(0).log().snapshot().size(), requests) << "the camera in use elsewhere received requests";
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(camera(0).friendlyName()), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find(kOtherUser), std::string::npos) << messages_[0];
}

TEST_F(Discovery, ProbeWithoutAnAnswerIsBoundedAndTheCameraListedAsItIs) {
    discover("pid=0x2010,type=0");
    ASSERT_EQ(listed().size(), 1u);
    EXPECT_EQ(productId(0), 0x2010);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("did not tell its type"), std::string::npos) << messages_[0];
}

}  // namespace
