// Device creation: a creator owns the one camera object it made last, and builds it only for an
// identity some model serves.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devices/devicecreator.h"
#include "devices/devicetypea.h"
#include "devices/devicetypeb.h"
#include "fakehwlayer.h"
#include "simulatedcameras.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

// The events of a creator's life, in order.
struct History {
    std::vector<std::string> events;
    int built = 0;
};

class RecordedCamera final : public Device {
public:
    RecordedCamera(History& history, int number)
        : Device(std::make_unique<testing_support::FakeHwLayer>(), {}), history_(history), number_(number) {
        history_.events.push_back("built " + std::to_string(number_));
    }
    // An object destroyed while open was destroyed under its running threads.
    ~RecordedCamera() override {
        history_.events.push_back("destroyed " + std::to_string(number_) +
                                  (GetFrameBuffer() != nullptr ? " while open" : ""));
    }
    // The threads of an open camera step at a gentle pace.
    void CameraStep() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    void RepackStep() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    void switchOffForSettings() override {}
    void switchOffForStop() override {}
    void switchOn() override {}
    void writePendingSettings() override {}
    void inputStep() override {}
    void coupleSettings(unsigned) override {}

private:
    History& history_;
    int number_;
};

// Serves the identity the test sets and builds RecordedCameras.
class RecordingBuilder final : public CameraBuilder {
public:
    RecordingBuilder(History& history, std::optional<ModelChoice>& identity)
        : history_(history), identity_(identity) {}
    std::optional<ModelChoice> identify(int deviceIndex) override {
        history_.events.push_back("identified " + std::to_string(deviceIndex));
        return identity_;
    }
    std::unique_ptr<Device> build(const ModelChoice&) override {
        return std::make_unique<RecordedCamera>(history_, ++history_.built);
    }

private:
    History& history_;
    std::optional<ModelChoice>& identity_;
};

class Creation : public ::testing::Test {
protected:
    std::unique_ptr<DeviceCreator> makeCreator() {
        return std::make_unique<DeviceCreator>(ZmCoreLib::Pair(3, u"camera"),
                                               std::make_unique<RecordingBuilder>(history_, identity_));
    }

    History history_;
    std::optional<ModelChoice> identity_ = ModelChoice{.model = CameraModel::SonyIcx285};
};

TEST_F(Creation, ASecondObjectReplacesTheFirstWhichGoesBeforeTheNewOneIsBuilt) {
    auto creator = makeCreator();
    ZmCoreLib::IDevice* first = creator->CreateDevice();
    ZmCoreLib::IDevice* second = creator->CreateDevice();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(history_.events, (std::vector<std::string>{"identified 3", "built 1", "identified 3",
                                                         "destroyed 1", "built 2"}));
    creator.reset();
    EXPECT_EQ(history_.events.back(), "destroyed 2");
}

// A client may make a new object while the old one streams: the old one's threads end before
// it is taken apart, and so do those of the last one when the creator goes.
TEST_F(Creation, AnOpenStartedObjectIsClosedBeforeItIsDestroyed) {
    auto creator = makeCreator();
    ZmCoreLib::IDevice* first = creator->CreateDevice();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->Open(), nullptr);
    first->Start();
    ZmCoreLib::IDevice* second = creator->CreateDevice();
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second->Open(), nullptr);
    second->Start();
    creator.reset();
    EXPECT_EQ(history_.events, (std::vector<std::string>{"identified 3", "built 1", "identified 3",
                                                         "destroyed 1", "built 2", "destroyed 2"}));
}

TEST_F(Creation, AnIdentityWithoutModelKeepsWhatWasMadeBefore) {
    auto creator = makeCreator();
    identity_.reset();
    EXPECT_EQ(creator->CreateDevice(), nullptr);
    identity_ = ModelChoice{.model = CameraModel::Kodak, .sensor = kSensorKodak11002};
    ZmCoreLib::IDevice* made = creator->CreateDevice();
    identity_.reset();
    EXPECT_EQ(creator->CreateDevice(), made);
    EXPECT_EQ(history_.events,
              (std::vector<std::string>{"identified 3", "identified 3", "built 1", "identified 3"}));
}

TEST_F(Creation, TwoCreatorsForOneEntryOwnTheirOwnObjects) {
    auto first = makeCreator();
    auto second = makeCreator();
    ZmCoreLib::IDevice* fromFirst = first->CreateDevice();
    ZmCoreLib::IDevice* fromSecond = second->CreateDevice();
    ASSERT_NE(fromFirst, nullptr);
    EXPECT_NE(fromFirst, fromSecond);
    first.reset();
    EXPECT_EQ(history_.events.back(), "destroyed 1");
    second.reset();
    EXPECT_EQ(history_.events.back(), "destroyed 2");
}

TEST_F(Creation, TakesNoCreationParameters) {
    auto creator = makeCreator();
    ZmCoreLib::ISettingIterator* parameters = creator->GetSettings();
    ASSERT_NE(parameters, nullptr);
    parameters->First();
    EXPECT_TRUE(parameters->IsDone());
    parameters->Next();
    EXPECT_TRUE(parameters->IsDone());
    EXPECT_EQ(parameters->Current(), nullptr);
    parameters->Release();  // owned by the creator: releasing leaves it usable
    EXPECT_EQ(creator->GetSettings(), parameters);
    EXPECT_TRUE(parameters->IsDone());
}

// The library's own builder over simulated cameras: the creators of one entry each build their
// own camera object of the model the identity selects.
class CreationOnTheBus : public SimulatedCameras {};

TEST_F(CreationOnTheBus, CreatorsOfOneEntryBuildIndependentCameras) {
    attach("pid=0x2121;pid=0x2311");
    ASSERT_EQ(entries().size(), 2u);
    ZmCoreLib::IDeviceCreator* first = creator(0);
    ZmCoreLib::IDeviceCreator* second = creator(0);
    ASSERT_NE(first, second);
    ZmCoreLib::IDevice* a = first->CreateDevice();
    ZmCoreLib::IDevice* b = second->CreateDevice();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(dynamic_cast<DeviceTypeB*>(static_cast<Device*>(a)), nullptr);
    EXPECT_NE(dynamic_cast<DeviceTypeA*>(createDevice(1)), nullptr);
}

// A second object for a streaming camera: the first one's camera and repack threads end before
// it goes, and the new one streams from the same camera.
TEST_F(CreationOnTheBus, ReplacesAStreamingCameraObject) {
    attach("pid=0x2200");
    ZmCoreLib::IDeviceCreator* made = creator(0);
    ASSERT_NE(made, nullptr);
    const auto firstFrame = [](ZmCoreLib::IDevice* device) {
        ZmCoreLib::IFrameBuffer* output = device->Open();
        if (output == nullptr) return false;
        device->Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ZmCoreLib::IFrame* frame = output->GetFrame()) {
                frame->Release();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    };
    ZmCoreLib::IDevice* first = made->CreateDevice();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(firstFrame(first)) << "the first object delivered no frame";
    ZmCoreLib::IDevice* second = made->CreateDevice();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(firstFrame(second)) << "the second object delivered no frame";
    second->Close();
}

// The bus may change after the list was made: a device of another vendor on the entry's index
// is never driven as a camera.
TEST(CreationOnAChangedBus, AForeignDeviceOnTheEntrysIndexIsNotDriven) {
    SimulatorDriver driver(
        std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet("pid=0x2120,vid=0x1234"), 0));
    DeviceCreator creator(ZmCoreLib::Pair(0, u"camera"), driver);
    EXPECT_EQ(creator.CreateDevice(), nullptr);
}

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
