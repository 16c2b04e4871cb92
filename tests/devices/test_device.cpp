// The device core and both families' frame paths, with real camera and repack threads over a
// fake camera: which FPGA slots are read, what reaches the output buffer (pixel by pixel), the
// frame tags, dropped reads, the register sequences that switch the acquisition, and the life
// cycle (open, start, stop, close, open again).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/devicetypea.h"
#include "devices/devicetypeb.h"
#include "devices/repack.h"
#include "devices/settingids.h"
#include "fakecamera.h"
#include "zmcorelib/exceptions.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {
namespace {

using testing_support::FakeCamera;
using testing_support::FakeHwLayer;
using namespace std::chrono_literals;

// A stand-in configuration the build makes; the fake camera takes any.
constexpr char kConfigurationFile[] = "./zmu2200.bit";
// Generous: a start settles for 400 ms before the first frame.
constexpr auto kWaitLimit = 10s;

struct Geometry {
    int width;
    int height;
};

void setGeometry(CameraSettings& settings, Geometry geometry) {
    for (auto [setting, size] :
         {std::pair{settings.width, geometry.width}, std::pair{settings.height, geometry.height}}) {
        setting->SetMax(size, ZmCoreLib::kUnitPixel);
        setting->SetMin(1, ZmCoreLib::kUnitPixel);
        setting->SetValue(size);
    }
}

// A family A model: geometry and rotation only.
class TestCameraA final : public DeviceTypeA {
public:
    TestCameraA(std::unique_ptr<IHwLayer> layer, Geometry geometry, int rotation)
        : DeviceTypeA(std::move(layer),
                      {.model = {.configurationFile = kConfigurationFile, .rotationDegrees = rotation}}) {
        setGeometry(cameraSettings_, geometry);
    }
};

struct ModelB {
    int slots = 4;
    bool twoFrames = false;
    int rotation = 0;
};

// A family B model with packed pixels.
class TestCameraB final : public DeviceTypeB {
public:
    TestCameraB(std::unique_ptr<IHwLayer> layer, Geometry geometry, ModelB model)
        : DeviceTypeB(std::move(layer), {.model = {.configurationFile = kConfigurationFile,
                                                   .fpgaSlots = model.slots,
                                                   .rotationDegrees = model.rotation},
                                         .packed = true}) {
        setGeometry(cameraSettings_, geometry);
        if (model.twoFrames) {
            if (cameraSettings_.inputMode == nullptr) {
                cameraSettings_.inputMode = settingFactory_.addEnum(ids::kInputMode, {}, std::nullopt);
            }
            cameraSettings_.inputMode->AddItem(ids::kModeTwoFrames, 3);
            cameraSettings_.inputMode->SetValue(ids::kModeTwoFrames);
        }
    }
};

// A fake camera and a device over it; the device goes first, as it uses the fake.
template <class Camera>
struct Rig {
    template <class... Args>
    Rig(int slots, Args&&... args) : fake(layer, slots) {
        device = std::make_unique<Camera>(std::move(ownedLayer), std::forward<Args>(args)...);
    }
    // Closed first, as its owner closes a camera before destroying it.
    ~Rig() {
        device->Close();
        device.reset();
    }

    std::unique_ptr<FakeHwLayer> ownedLayer = std::make_unique<FakeHwLayer>();
    FakeHwLayer& layer = *ownedLayer;
    FakeCamera fake;
    std::unique_ptr<Camera> device;
};

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A finished frame, copied out of the output buffer.
struct Picture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int tag = 0;
    std::vector<std::uint16_t> pixels;
};

ZmCoreLib::IFrame* waitForFrame(ZmCoreLib::IFrameBuffer* buffer) {
    ZmCoreLib::IFrame* frame = nullptr;
    waitUntil([&] { return (frame = buffer->GetFrame()) != nullptr; });
    return frame;
}

// The next `count` finished frames, each given back after copying.
std::vector<Picture> takePictures(ZmCoreLib::IFrameBuffer* buffer, int count) {
    std::vector<Picture> pictures;
    for (int i = 0; i < count; ++i) {
        ZmCoreLib::IFrame* frame = waitForFrame(buffer);
        if (frame == nullptr) {
            ADD_FAILURE() << "frame " << i << " did not arrive";
            break;
        }
        Picture p;
        frame->GetFormat(&p.width, &p.height, &p.bitsPerPixel);
        p.tag = frame->GetTag();
        const auto* data = static_cast<const std::uint16_t*>(frame->GetData());
        p.pixels.assign(data, data + static_cast<std::size_t>(p.width) * p.height);
        EXPECT_TRUE(frame->Release());
        pictures.push_back(std::move(p));
    }
    return pictures;
}

// The picture a delivered raw frame must turn into.
std::vector<std::uint16_t> expectedPixels(int frameNumber, PixelPacking packing, Geometry g, int rotation) {
    const std::size_t pixels = static_cast<std::size_t>(g.width) * g.height;
    const int length = static_cast<int>(rawFrameBytes(packing, pixels));
    const std::vector<std::uint8_t> raw = FakeCamera::rawContent(frameNumber, length);
    std::vector<std::uint16_t> out(pixels);
    repackFrameReference(raw.data(), raw.size(), packing, g.width, g.height, rotation, out.data());
    return out;
}

// The frame numbers the fake delivered, in order: the order frames reach the output buffer.
std::vector<int> deliveredFrames(const FakeCamera& fake) {
    std::vector<int> frames;
    for (const FakeCamera::Served& s : fake.served()) {
        if (s.delivered) frames.push_back(s.frameNumber);
    }
    return frames;
}

// ---- Frame input ---------------------------------------------------------------------------

TEST(DeviceFrameInputTest, FamilyASkipsToTheNewestReadySlot) {
    Rig<TestCameraA> rig(4, Geometry{8, 4}, 0);
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    ASSERT_TRUE(waitUntil([&] { return rig.fake.acquisitionEnabled(); }));
    rig.fake.makeReady({0, 1, 2});

    std::vector<Picture> first = takePictures(output, 1);
    EXPECT_EQ(rig.fake.slotsRead(), std::vector<int>{2});
    // The two older frames were acknowledged unread, then the one that was read.
    EXPECT_EQ(rig.fake.acknowledged(), (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].pixels, expectedPixels(3, PixelPacking::kBigEndian16, {8, 4}, 0));

    // The next frame is expected in slot 3.
    rig.fake.makeReady({3});
    takePictures(output, 1);
    EXPECT_EQ(rig.fake.slotsRead(), (std::vector<int>{2, 3}));
    rig.device->Close();
}

struct SlotCase {
    int slots;
    std::vector<int> expected;
    friend void PrintTo(const SlotCase& c, std::ostream* out) { *out << c.slots << " slots"; }
};

class FamilyBSlotTest : public ::testing::TestWithParam<SlotCase> {};

TEST_P(FamilyBSlotTest, ReadsEverySlotInTurn) {
    Rig<TestCameraB> rig(GetParam().slots, Geometry{6, 2}, ModelB{.slots = GetParam().slots});
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    takePictures(output, static_cast<int>(GetParam().expected.size()));
    const std::vector<int> slots = rig.fake.slotsRead();
    ASSERT_GE(slots.size(), GetParam().expected.size());
    EXPECT_EQ(std::vector<int>(slots.begin(), slots.begin() + static_cast<long>(GetParam().expected.size())),
              GetParam().expected);
    rig.device->Close();
}

INSTANTIATE_TEST_SUITE_P(SlotCounts, FamilyBSlotTest,
                         ::testing::Values(SlotCase{2, {0, 1, 0, 1, 0, 1}}, SlotCase{4, {0, 1, 2, 3, 0, 1}}));

TEST(DeviceFrameInputTest, TwoFrameModeTagsFramesOneTwoOneTwo) {
    Rig<TestCameraB> rig(4, Geometry{4, 2}, ModelB{.twoFrames = true});
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    std::vector<int> tags;
    for (const Picture& p : takePictures(output, 6)) tags.push_back(p.tag);
    EXPECT_EQ(tags, (std::vector<int>{1, 2, 1, 2, 1, 2}));
    rig.device->Close();
}

// ---- Waiting for frames ------------------------------------------------------------------------

// A family A camera on its own generator at the family's start period of 1000 ms, after its
// first frame: the camera thread knows when the next one is due.
class FrameTimingTest : public ::testing::Test {
protected:
    static constexpr unsigned kExposureRegister = 0xE20002;

    void SetUp() override {
        output_ = rig_.device->Open();
        rig_.device->Start();
        ASSERT_TRUE(waitUntil([&] { return rig_.fake.acquisitionEnabled(); }));
        rig_.fake.makeReady({0});
        ASSERT_EQ(takePictures(output_, 1).size(), 1u);
        // The slot's acknowledgement follows the frame.
        ASSERT_TRUE(waitUntil([&] { return rig_.fake.acknowledged() == std::vector<int>{0}; }));
    }

    Rig<TestCameraA> rig_{4, Geometry{4, 2}, 0};
    ZmCoreLib::IFrameBuffer* output_ = nullptr;
};

TEST_F(FrameTimingTest, TheCameraIsLeftAloneUntilItsNextFrameIsDueAndThatFrameArrives) {
    // The step after the frame looks once more, and only then finds out how long to wait.
    std::this_thread::sleep_for(100ms);
    const int calls = rig_.layer.calls();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(rig_.layer.calls(), calls) << "the camera was polled while its next frame was far off";
    rig_.fake.makeReady({1});
    EXPECT_EQ(takePictures(output_, 1).size(), 1u);
    EXPECT_EQ(rig_.fake.slotsRead(), (std::vector<int>{0, 1}));
}

TEST_F(FrameTimingTest, AChangedSettingEndsTheWaitForTheNextFrame) {
    const std::size_t writesBefore = rig_.layer.writesTo(kExposureRegister).size();
    rig_.device->FindSetting(ids::kExposure)->GetScalar()->SetValue(40);
    // Long before the next frame is due.
    const auto deadline = std::chrono::steady_clock::now() + 400ms;
    while (rig_.layer.writesTo(kExposureRegister).size() == writesBefore &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_GT(rig_.layer.writesTo(kExposureRegister).size(), writesBefore)
        << "the new exposure waited for the camera's next frame";
}

// ---- Repacking -------------------------------------------------------------------------------

struct PictureCase {
    std::string name;
    bool familyB;
    int rotation;
    Geometry geometry;
    friend void PrintTo(const PictureCase& c, std::ostream* out) { *out << c.name; }
};

class DevicePictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(DevicePictureTest, DeliversThePixelExactRotatedPicture) {
    const PictureCase& c = GetParam();
    const PixelPacking packing = c.familyB ? PixelPacking::kPacked12 : PixelPacking::kBigEndian16;
    const bool quarterTurn = c.rotation == 90 || c.rotation == 270;
    auto check = [&](Device& device, FakeCamera& fake) {
        fake.streamContinuously();
        ZmCoreLib::IFrameBuffer* output = device.Open();
        device.Start();
        const std::vector<Picture> pictures = takePictures(output, 3);
        const std::vector<int> frames = deliveredFrames(fake);
        ASSERT_GE(frames.size(), pictures.size());
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            EXPECT_EQ(pictures[i].width, quarterTurn ? c.geometry.height : c.geometry.width);
            EXPECT_EQ(pictures[i].height, quarterTurn ? c.geometry.width : c.geometry.height);
            EXPECT_EQ(pictures[i].bitsPerPixel, 16);
            EXPECT_EQ(pictures[i].tag, 0);
            EXPECT_EQ(pictures[i].pixels, expectedPixels(frames[i], packing, c.geometry, c.rotation))
                << "frame " << i;
        }
        device.Close();
    };
    if (c.familyB) {
        Rig<TestCameraB> rig(4, c.geometry, ModelB{.rotation = c.rotation});
        check(*rig.device, rig.fake);
    } else {
        Rig<TestCameraA> rig(4, c.geometry, c.rotation);
        check(*rig.device, rig.fake);
    }
}

INSTANTIATE_TEST_SUITE_P(Rotations, DevicePictureTest,
                         ::testing::Values(PictureCase{"FamilyA0", false, 0, {7, 3}},
                                           PictureCase{"FamilyA90", false, 90, {20, 9}},
                                           PictureCase{"FamilyA270", false, 270, {5, 3}},
                                           PictureCase{"FamilyB180", true, 180, {7, 3}},
                                           PictureCase{"FamilyB90", true, 90, {17, 9}}),
                         [](const ::testing::TestParamInfo<PictureCase>& param) { return param.param.name; });

// ---- Failed reads ------------------------------------------------------------------------------

class FailedReadTest : public ::testing::TestWithParam<bool> {};

TEST_P(FailedReadTest, DropsTheFrameGivesItBackAndKeepsStreaming) {
    const bool familyB = GetParam();
    const Geometry g{6, 4};
    const PixelPacking packing = familyB ? PixelPacking::kPacked12 : PixelPacking::kBigEndian16;
    auto check = [&](Device& device, FakeCamera& fake) {
        // More failures in a row than the raw buffer has frames: a frame not given back would
        // stall the stream.
        fake.failReads({1, 2, 3, 4, 5});
        fake.streamContinuously();
        ZmCoreLib::IFrameBuffer* output = device.Open();
        device.Start();
        const std::vector<Picture> pictures = takePictures(output, 4);
        const std::vector<int> frames = deliveredFrames(fake);
        ASSERT_EQ(pictures.size(), 4u);
        ASSERT_GE(frames.size(), 4u);
        EXPECT_EQ(frames[0], 1);
        EXPECT_EQ(frames[1], 7);  // frames 2 to 6 never reached the clients
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            EXPECT_EQ(pictures[i].pixels, expectedPixels(frames[i], packing, g, 0)) << "frame " << i;
        }
        EXPECT_EQ(device.droppedFrames(), 5);
        device.Close();
    };
    if (familyB) {
        Rig<TestCameraB> rig(4, g, ModelB{});
        check(*rig.device, rig.fake);
    } else {
        Rig<TestCameraA> rig(4, g, 0);
        check(*rig.device, rig.fake);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, FailedReadTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "FamilyB" : "FamilyA");
                         });

// ---- Acquisition registers ---------------------------------------------------------------------

// The writes that switch the acquisition, as text: the acquisition bits (0 and 1) of every
// control and (family A) synchronisation register write, and the buffer manager's acquisition
// enable where it changes. Family B keeps its exposure start delay where family A has the
// synchronisation register.
enum class Family { A, B };
std::string acquisitionTrace(const FakeHwLayer& layer, Family family) {
    constexpr unsigned kControl = 0xE20000;
    constexpr unsigned kSynchronisation = 0xE20009;
    constexpr unsigned kAcquisitionBits = 0x3;
    constexpr unsigned kEnable = 1u << 2;
    std::string trace;
    bool enabled = false;
    for (const testing_support::RegisterWrite& w : layer.writes()) {
        if (w.address == kControl) trace += " ctrl=" + std::to_string(w.value & kAcquisitionBits);
        if (family == Family::A && w.address == kSynchronisation)
            trace += " sync=" + std::to_string(w.value & kAcquisitionBits);
        if (w.address == FakeCamera::kBufferManager && ((w.value & kEnable) != 0) != enabled) {
            enabled = !enabled;
            trace += enabled ? " enable" : " disable";
        }
    }
    return trace;
}

TEST(DeviceAcquisitionTest, FamilyASwitchesOnAfterTheSettleTimeAndOffInReverse) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    takePictures(output, 1);
    rig.device->Stop();
    ASSERT_TRUE(waitUntil([&] { return acquisitionTrace(rig.layer, Family::A).ends_with(" ctrl=0"); }));
    // Pending settings are written with the acquisition off first (the trigger settings among
    // them write the synchronisation register twice); the start bit (sync bit 1) stays set.
    EXPECT_EQ(acquisitionTrace(rig.layer, Family::A),
              " ctrl=0 sync=0 sync=0 sync=0 sync=2 ctrl=1 enable sync=3 disable sync=2 ctrl=0");
    rig.device->Close();
}

TEST(DeviceAcquisitionTest, FamilyBSwitchesOnAfterTheSettleTimeAndOffInReverse) {
    Rig<TestCameraB> rig(4, Geometry{4, 2}, ModelB{});
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    takePictures(output, 1);
    rig.device->Stop();
    ASSERT_TRUE(
        waitUntil([&] { return acquisitionTrace(rig.layer, Family::B).ends_with("disable ctrl=1 ctrl=0"); }));
    EXPECT_EQ(acquisitionTrace(rig.layer, Family::B),
              " ctrl=0 ctrl=0 ctrl=1 enable ctrl=3 disable ctrl=1 ctrl=0");
    rig.device->Close();
}

TEST(DeviceAcquisitionTest, SoftwareStartPulsesControlBit13) {
    Rig<TestCameraB> rig(4, Geometry{4, 2}, ModelB{});
    rig.device->SoftwareStart();
    EXPECT_EQ(rig.layer.writesTo(0xE20000), (std::vector<unsigned>{1u << 13, 0}));
}

// ---- Bring-up --------------------------------------------------------------------------------

TEST(DeviceBringUpTest, ShowsTheVersionAndTakesInTheIntensifierModule) {
    constexpr unsigned kVersionRegister = 0xE2000F;
    constexpr unsigned kModuleAddress = 0xE2000A;  // family B without fibre optics
    const Geometry g{5, 3};
    std::unique_ptr<FakeHwLayer> ownedLayer = std::make_unique<FakeHwLayer>();
    FakeHwLayer& layer = *ownedLayer;
    FakeCamera fake(layer, 4);
    fake.answer(kVersionRegister, 0x020011);
    fake.answer(kModuleAddress + 1, 1u << 16);  // a type 1 module
    auto device = std::make_unique<TestCameraB>(std::move(ownedLayer), g, ModelB{});

    EXPECT_EQ(std::u16string(device->FindSetting(ids::kCameraVersion)->GetString()->GetValue()), u"2.17");
    // The module was asked after its registers were cleared, and its settings follow the family's.
    const std::vector<testing_support::RegisterWrite> writes = layer.writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], (testing_support::RegisterWrite{kModuleAddress, 0}));
    EXPECT_EQ(writes[1], (testing_support::RegisterWrite{kModuleAddress + 1, 0}));
    std::vector<unsigned> ids;
    ZmCoreLib::ISettingIterator* it = device->GetSettings();
    for (it->First(); !it->IsDone(); it->Next()) ids.push_back(it->Current()->GetId());
    it->Release();
    const std::vector<unsigned> moduleIds = {0x3202, 0x3203, 0x3210, 0x3204, 0x3205, 0x3206, 0x3207};
    ASSERT_GE(ids.size(), moduleIds.size());
    EXPECT_EQ(std::vector<unsigned>(ids.end() - static_cast<long>(moduleIds.size()), ids.end()), moduleIds);

    // A type 1 module turns the picture by 180 degrees.
    fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = device->Open();
    device->Start();
    const std::vector<Picture> pictures = takePictures(output, 1);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].pixels, expectedPixels(deliveredFrames(fake)[0], PixelPacking::kPacked12, g, 180));
    device->Close();
    device.reset();
}

// ---- Life cycle ------------------------------------------------------------------------------

TEST(DeviceLifeCycleTest, StartWithAHeldFrameThrowsAndLeavesTheCameraStopped) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    ZmCoreLib::IFrame* held = waitForFrame(output);
    ASSERT_NE(held, nullptr);
    rig.device->Stop();

    try {
        rig.device->Start();
        ADD_FAILURE() << "Start did not refuse the held frame";
    } catch (const ZmCoreLib::FrameBufferException& e) {
        EXPECT_EQ(e.message(), u"Есть занятый кадр");
    }
    EXPECT_FALSE(rig.device->isStarted());

    EXPECT_TRUE(held->Release());
    rig.device->Start();
    EXPECT_TRUE(rig.device->isStarted());
    EXPECT_EQ(takePictures(output, 1).size(), 1u);
    rig.device->Close();
}

TEST(DeviceLifeCycleTest, StartTwiceResetsOnce) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    ZmCoreLib::IFrame* held = waitForFrame(output);
    ASSERT_NE(held, nullptr);
    // A second reset would find the held frame and throw.
    EXPECT_NO_THROW(rig.device->Start());
    EXPECT_TRUE(rig.device->isStarted());
    EXPECT_TRUE(held->Release());
    rig.device->Close();
}

TEST(DeviceLifeCycleTest, CloseWhileStartedEndsBothThreadsAndDropsTheBuffers) {
    Rig<TestCameraB> rig(4, Geometry{4, 2}, ModelB{});
    rig.fake.streamContinuously();
    ZmCoreLib::IFrameBuffer* output = rig.device->Open();
    rig.device->Start();
    takePictures(output, 2);

    rig.device->Close();
    EXPECT_EQ(rig.device->GetFrameBuffer(), nullptr);
    EXPECT_FALSE(rig.device->isStarted());
    // Nothing touches the camera any more: no thread is left to do it.
    const int calls = rig.layer.calls();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.layer.calls(), calls);
}

TEST(DeviceLifeCycleTest, ACameraCanBeOpenedAgainAfterClosing) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    rig.fake.streamContinuously();
    for (int round = 0; round < 2; ++round) {
        ZmCoreLib::IFrameBuffer* output = rig.device->Open();
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(rig.device->GetFrameBuffer(), output);
        rig.device->Start();
        EXPECT_EQ(takePictures(output, 2).size(), 2u) << "round " << round;
        rig.device->Close();
        EXPECT_EQ(rig.device->GetFrameBuffer(), nullptr);
    }
}

TEST(DeviceLifeCycleTest, StopBeforeOpenAndTwiceIsHarmless) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    rig.device->Stop();
    rig.device->Start();  // not open: nothing to start
    EXPECT_FALSE(rig.device->isStarted());
    rig.device->Open();
    rig.device->Start();
    rig.device->Stop();
    rig.device->Stop();
    EXPECT_FALSE(rig.device->isStarted());
    rig.device->Close();
}

TEST(DeviceSettingsTest, FindSettingReturnsTheFirstWithTheIdOrNull) {
    Rig<TestCameraA> rig(4, Geometry{4, 2}, 0);
    ZmCoreLib::ISetting* width = rig.device->FindSetting(ZmCoreLib::ids::kFrameWidth);
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->GetScalar()->GetValue(), 4);
    EXPECT_EQ(rig.device->FindSetting(0x3999), nullptr);
}

}  // namespace
}  // namespace ZmCoreLib_v4
