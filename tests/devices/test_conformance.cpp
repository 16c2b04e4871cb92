// One suite run over every camera model: the real library (discovery, device creation, the
// device's threads, the families' frame paths, the hardware layer) over simulated cameras. Every
// finished frame is checked pixel by pixel against the simulator's picture, turned as the model
// and its intensifier module turn it; frame numbers must grow as the family promises; and bulk
// reads that time out, come back short or stall must never reach the clients while the camera
// keeps streaming.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devices/settingids.h"
#include "simulatedcameras.h"
#include "simulator/framepattern.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/setting.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

using namespace std::chrono_literals;

// A start settles for 400 ms; the slowest model takes about 800 ms per frame.
constexpr auto kFrameWaitLimit = 10s;

struct ModelCase {
    std::string name;
    std::string camera;  // the ZMCORE_SIMULATE form
    bool familyB;        // 12-bit packed pixels, slots read in turn
    int rotation;        // degrees the finished frames are turned by
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << c.camera;
}

// The region every camera is set to: off the origin, so that the offsets are seen in the picture,
// and small enough to keep the suite quick.
struct Region {
    int x;
    int y;
    int width;
    int height;
};
constexpr Region kRegion{8, 4, 100, 60};

// A finished frame, copied out of the output buffer.
struct Picture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int tag = -1;
    std::vector<std::uint16_t> pixels;
};

// Where input pixel (r, c) of a w x h frame lands after turning clockwise by `rotation`.
std::size_t turnedIndex(std::size_t r, std::size_t c, std::size_t w, std::size_t h, int rotation) {
    switch (rotation) {
        case 90:
            return c * h + (h - 1 - r);
        case 180:
            return (h - 1 - r) * w + (w - 1 - c);
        case 270:
            return (w - 1 - c) * h + r;
        default:
            return r * w + c;
    }
}

class Conformance : public SimulatedCameras, public ::testing::WithParamInterface<ModelCase> {
protected:
    int bits() const { return GetParam().familyB ? 12 : 16; }

    void startCamera() {
        attach(GetParam().camera);
        device_ = createDevice();
        ASSERT_NE(device_, nullptr) << "no camera object for " << GetParam().camera;
        setScalar(ids::kFrameWidth, kRegion.width);
        setScalar(ids::kFrameHeight, kRegion.height);
        setScalar(ids::kFrameX, kRegion.x);
        setScalar(ids::kFrameY, kRegion.y);
        // As fast as the model allows; the minimum depends on the region.
        ZmCoreLib::ISettingScalar* period = device_->FindSetting(ids::kFramePeriod)->GetScalar();
        period->SetValue(period->GetMin(period->GetUnit()));
        output_ = device_->Open();
        ASSERT_NE(output_, nullptr);
        device_->Start();
    }

    void TearDown() override {
        if (device_ != nullptr) device_->Close();
        SimulatedCameras::TearDown();
    }

    void setScalar(unsigned id, int value) {
        ZmCoreLib::ISetting* setting = device_->FindSetting(id);
        ASSERT_NE(setting, nullptr) << std::hex << id;
        setting->GetScalar()->SetValue(value);
        ASSERT_EQ(setting->GetScalar()->GetValue(), value) << std::hex << id;
    }

    // The next finished frame, given back after copying; an empty picture when none came.
    Picture nextPicture() {
        Picture p;
        const auto deadline = std::chrono::steady_clock::now() + kFrameWaitLimit;
        ZmCoreLib::IFrame* frame = nullptr;
        while ((frame = output_->GetFrame()) == nullptr) {
            if (std::chrono::steady_clock::now() > deadline) return p;
            std::this_thread::sleep_for(2ms);
        }
        frame->GetFormat(&p.width, &p.height, &p.bitsPerPixel);
        p.tag = frame->GetTag();
        const auto* data = static_cast<const std::uint16_t*>(frame->GetData());
        p.pixels.assign(data, data + static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
        EXPECT_TRUE(frame->Release());
        return p;
    }

    // The frame number (modulo 2^bits) the picture shows, read from the region's first pixel.
    std::uint32_t frameNumberOf(const Picture& p) const {
        const std::size_t first = turnedIndex(0, 0, kRegion.width, kRegion.height, GetParam().rotation);
        const auto sample = static_cast<std::uint16_t>(p.pixels.at(first) >> (16 - bits()));
        return simulator::patternFrameNumber(sample, kRegion.y, kRegion.x, bits());
    }

    // Checks the format and every pixel against the simulator's picture of that frame number;
    // returns the frame number.
    std::uint32_t checkPicture(const Picture& p) {
        const bool quarterTurn = GetParam().rotation == 90 || GetParam().rotation == 270;
        EXPECT_EQ(p.width, quarterTurn ? kRegion.height : kRegion.width);
        EXPECT_EQ(p.height, quarterTurn ? kRegion.width : kRegion.height);
        EXPECT_EQ(p.bitsPerPixel, 16);
        EXPECT_EQ(p.tag, 0);
        if (p.pixels.size() != static_cast<std::size_t>(kRegion.width) * kRegion.height) {
            ADD_FAILURE() << "picture of " << p.pixels.size() << " pixels";
            return 0;
        }
        const std::uint32_t frameNumber = frameNumberOf(p);
        const simulator::FrameGeometry geometry{
            static_cast<std::uint32_t>(kRegion.x), static_cast<std::uint32_t>(kRegion.y),
            static_cast<std::uint32_t>(kRegion.width), static_cast<std::uint32_t>(kRegion.height)};
        int wrong = 0;
        for (int r = 0; r < kRegion.height; ++r) {
            for (int c = 0; c < kRegion.width; ++c) {
                const std::uint16_t expected = simulator::finishedPixel(
                    simulator::patternPixel(frameNumber, geometry, static_cast<std::uint32_t>(r),
                                            static_cast<std::uint32_t>(c), bits()),
                    bits());
                const std::uint16_t actual =
                    p.pixels[turnedIndex(static_cast<std::size_t>(r), static_cast<std::size_t>(c),
                                         kRegion.width, kRegion.height, GetParam().rotation)];
                if (actual != expected && wrong++ < 5) {
                    ADD_FAILURE() << "frame " << frameNumber << " pixel (" << r << ", " << c
                                  << "): " << actual << " instead of " << expected;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels wrong in frame " << frameNumber;
        return frameNumber;
    }

    // Takes `count` frames, checks each and returns their numbers.
    std::vector<std::uint32_t> takeFrames(int count) {
        std::vector<std::uint32_t> numbers;
        for (int i = 0; i < count; ++i) {
            const Picture p = nextPicture();
            if (p.pixels.empty()) {
                ADD_FAILURE() << "frame " << i << " did not arrive";
                break;
            }
            numbers.push_back(checkPicture(p));
        }
        return numbers;
    }

    // Family B reads every slot in turn, so a client that keeps up sees consecutive frames;
    // family A jumps to the newest frame, so numbers only grow.
    void expectSequence(const std::vector<std::uint32_t>& numbers) {
        const std::uint32_t mask = (1u << bits()) - 1;
        for (std::size_t i = 1; i < numbers.size(); ++i) {
            const std::uint32_t step = (numbers[i] - numbers[i - 1]) & mask;
            if (GetParam().familyB) {
                EXPECT_EQ(step, 1u) << "after frame " << numbers[i - 1];
            } else {
                EXPECT_GE(step, 1u) << "after frame " << numbers[i - 1];
                EXPECT_LT(step, mask / 2) << "after frame " << numbers[i - 1];
            }
        }
    }

    Device* device_ = nullptr;
    ZmCoreLib::IFrameBuffer* output_ = nullptr;
};

TEST_P(Conformance, DeliversEveryFramePixelExactInOrder) {
    startCamera();
    if (HasFatalFailure()) return;
    const std::vector<std::uint32_t> numbers = takeFrames(6);
    ASSERT_EQ(numbers.size(), 6u);
    expectSequence(numbers);
    EXPECT_EQ(device_->droppedFrames(), 0);
}

// What goes wrong with one bulk read.
struct Fault {
    std::string name;
    std::function<void(simulator::SimulatedCamera&)> inject;
};

TEST_P(Conformance, FailedBulkReadsNeverReachTheClientsAndStreamingGoesOn) {
    const Fault faults[] = {
        {"time-out", [](simulator::SimulatedCamera& camera) { camera.injectBulkTimeout(); }},
        {"short read", [](simulator::SimulatedCamera& camera) { camera.injectShortFrame(1000); }},
        {"stall", [](simulator::SimulatedCamera& camera) { camera.injectBulkStall(); }},
    };
    startCamera();
    if (HasFatalFailure()) return;
    takeFrames(1);
    int dropped = 0;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        fault.inject(camera());
        // Every frame that arrives is whole; the camera goes on after the failed read.
        const auto deadline = std::chrono::steady_clock::now() + kFrameWaitLimit;
        while (device_->droppedFrames() == dropped && std::chrono::steady_clock::now() < deadline) {
            const Picture p = nextPicture();
            if (!p.pixels.empty()) checkPicture(p);
        }
        EXPECT_EQ(device_->droppedFrames(), dropped + 1);
        dropped = device_->droppedFrames();
        EXPECT_EQ(takeFrames(3).size(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, Conformance,
    ::testing::Values(ModelCase{"MT9M032FibreOptic", "pid=0x0200,serial=1001,controller=2001", false, 0},
                      ModelCase{"SonyIcx285FibreOptic", "pid=0x2011,type=0x2280,serial=1002", false, 0},
                      ModelCase{"DalsaFT50", "pid=0x2311,serial=1006", false, 90},
                      ModelCase{"MT9M032WithIntensifier", "pid=0x0200,module=1,serial=1007", false, 180},
                      ModelCase{"SonyIcx285B", "pid=0x2125,serial=1003", true, 0},
                      ModelCase{"SonyIcx285BWithIntensifier", "pid=0x212F,module=1,serial=1005", true, 180},
                      ModelCase{"Kodak11002TwoSlots", "pid=0x2031,type=0x6214,channel=20,serial=1004", true,
                                0}),
    [](const ::testing::TestParamInfo<ModelCase>& param) { return param.param.name; });

// ---- Geometry changed while the camera streams -----------------------------------------------

// A client that resizes and moves the frame and changes the binning while frames flow: every
// frame must come labelled with the format it was read out in. The simulator's picture is a ramp
// over the sensor, so a frame whose pixels were read out at another size than it reports breaks
// the ramp from its first row end on, whichever offsets and frame number it shows.
struct StreamingCase {
    std::string name;
    std::string camera;  // the ZMCORE_SIMULATE form; every case delivers frames unturned
    bool familyB;
};

void PrintTo(const StreamingCase& c, std::ostream* os) {
    *os << c.camera;
}

// One client change of the frame geometry: a setting and the values it takes in turn.
struct GeometryStep {
    unsigned id;
    std::vector<int> values;
};

// Small frames keep the pixel check quick; a binning change makes the frame the whole binned
// sensor, so the client shrinks it again right after.
const GeometryStep kGeometrySteps[] = {
    {ids::kFrameWidth, {200, 256}}, {ids::kFrameHeight, {48, 64}}, {ids::kFrameX, {0, 8, 24}},
    {ids::kFrameY, {0, 4, 12}},     {ids::kBinningX, {1, 2}},      {ids::kBinningY, {1, 2}},
};
constexpr int kGeometryChanges = 24;
// The pause between two changes: a change holds the frames back for the camera's 400 ms settle.
constexpr int kMinChangePauseMs = 450;
constexpr int kMaxChangePauseMs = 1150;
constexpr int kBinnings[] = {1, 2};

class GeometryWhileStreaming : public SimulatedCameras, public ::testing::WithParamInterface<StreamingCase> {
protected:
    int bits() const { return GetParam().familyB ? 12 : 16; }

    void TearDown() override {
        if (device_ != nullptr) device_->Close();
        SimulatedCameras::TearDown();
    }

    ZmCoreLib::ISettingScalar* scalar(unsigned id) {
        ZmCoreLib::ISetting* setting = device_->FindSetting(id);
        return setting != nullptr ? setting->GetScalar() : nullptr;
    }

    // As fast as the model allows: the shortest frame period and exposure.
    void setShortest(unsigned id) {
        ZmCoreLib::ISettingScalar* time = scalar(id);
        time->SetUnit(ZmCoreLib::kUnitMicrosecond);
        time->SetValue(time->GetMin(ZmCoreLib::kUnitMicrosecond));
    }

    // The changes a client makes from its own thread, at random pauses.
    void changeGeometry() {
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> pauseMs(kMinChangePauseMs, kMaxChangePauseMs);
        for (int change = 0; change < kGeometryChanges && !stopChanges_; ++change) {
            const GeometryStep& step = kGeometrySteps[random() % std::size(kGeometrySteps)];
            ZmCoreLib::ISettingScalar* setting = scalar(step.id);
            if (setting != nullptr) {
                setting->SetValue(step.values[random() % step.values.size()]);
                if (step.id == ids::kBinningX) scalar(ids::kFrameWidth)->SetValue(256);
                if (step.id == ids::kBinningY) scalar(ids::kFrameHeight)->SetValue(64);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        }
        changesDone_ = true;
    }

    // The pixels of a delivered frame that leave the simulator's ramp for its reported format,
    // with the binning read off its first pixels.
    int wrongPixels(const std::uint16_t* pixels, int width, int height) const {
        const int mask = (1 << bits()) - 1;
        const auto sample = [&](int r, int c) { return pixels[r * width + c] >> (16 - bits()); };
        const auto binningFrom = [&](int difference, std::uint32_t step) {
            for (int binning : kBinnings) {
                if (static_cast<std::uint32_t>(difference & mask) == ((binning * step) & mask))
                    return binning;
            }
            return 0;
        };
        const int binX =
            width > 1 ? binningFrom(sample(0, 1) - sample(0, 0), simulator::kPatternColumnStep) : 1;
        const int binY =
            height > 1 ? binningFrom(sample(1, 0) - sample(0, 0), simulator::kPatternRowStep) : 1;
        if (binX == 0 || binY == 0) return width * height;
        // The ramp from the frame's first pixel: its offsets and frame number are in that pixel.
        const simulator::FrameGeometry origin{0,
                                              0,
                                              static_cast<std::uint32_t>(width),
                                              static_cast<std::uint32_t>(height),
                                              static_cast<std::uint32_t>(binX),
                                              static_cast<std::uint32_t>(binY)};
        int wrong = 0;
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                const auto ramp = simulator::patternPixel(0, origin, static_cast<std::uint32_t>(r),
                                                          static_cast<std::uint32_t>(c), bits());
                const auto expected = simulator::finishedPixel(
                    static_cast<std::uint16_t>((sample(0, 0) + ramp) & mask), bits());
                if (pixels[r * width + c] != expected) ++wrong;
            }
        }
        return wrong;
    }

    Device* device_ = nullptr;
    std::atomic<bool> stopChanges_{false};
    std::atomic<bool> changesDone_{false};
};

TEST_P(GeometryWhileStreaming, EveryFrameCarriesTheFormatItWasReadOutIn) {
    attach(GetParam().camera);
    device_ = createDevice();
    ASSERT_NE(device_, nullptr);
    scalar(ids::kFrameWidth)->SetValue(256);
    scalar(ids::kFrameHeight)->SetValue(64);
    setShortest(ids::kExposure);
    setShortest(ids::kFramePeriod);
    ZmCoreLib::IFrameBuffer* output = device_->Open();
    ASSERT_NE(output, nullptr);
    device_->Start();

    std::thread client([this] { changeGeometry(); });
    int frames = 0;
    int wrongFrames = 0;
    std::set<std::pair<int, int>> formats;
    const auto deadline = std::chrono::steady_clock::now() +
                          kGeometryChanges * std::chrono::milliseconds(kMaxChangePauseMs) + kFrameWaitLimit;
    // Until the client is done; the deadline only bounds a client that hangs.
    while (!changesDone_ && std::chrono::steady_clock::now() < deadline) {
        ZmCoreLib::IFrame* frame = output->GetFrame();
        if (frame == nullptr) {
            std::this_thread::sleep_for(1ms);
            continue;
        }
        int width = 0;
        int height = 0;
        int bitsPerPixel = 0;
        frame->GetFormat(&width, &height, &bitsPerPixel);
        const int wrong = wrongPixels(static_cast<const std::uint16_t*>(frame->GetData()), width, height);
        if (wrong != 0 && wrongFrames++ < 5) {
            ADD_FAILURE() << "format " << width << "x" << height << ", " << wrong << " of " << width * height
                          << " pixels wrong";
        }
        ++frames;
        formats.insert({width, height});
        frame->Release();
    }
    stopChanges_ = true;
    client.join();
    EXPECT_EQ(wrongFrames, 0) << "of " << frames << " frames";
    // The changes reached the camera: frames came in several formats.
    EXPECT_GT(formats.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Models, GeometryWhileStreaming,
                         ::testing::Values(StreamingCase{"SonyIcx285", "pid=0x2200", false},
                                           StreamingCase{"MT9M032FibreOptic", "pid=0x0200", false},
                                           StreamingCase{"SonyIcx285B", "pid=0x2125", true}),
                         [](const ::testing::TestParamInfo<StreamingCase>& param) {
                             return param.param.name;
                         });

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
