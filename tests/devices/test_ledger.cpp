// Every frame accounted for, over simulated cameras end to end: with bulk reads that time out or
// come back short and a client that holds its frames, the frames delivered and the frames the
// ledger counts lost add up to the frames the camera made, stage by stage; and every frame a
// client takes carries its number, the gap before it, its times and its settings.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "devices/settingids.h"
#include "simulatedcameras.h"
#include "simulator/framepattern.h"
#include "zmcorelib/deviceextensions.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/setting.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

using namespace std::chrono_literals;
using ZmCoreLib::DropStage;

constexpr auto kWaitLimit = 10s;
constexpr int kExposureMs = 5;
// The region: small frames keep the simulator's rendering cheap.
constexpr int kX = 8;
constexpr int kY = 4;
constexpr int kWidth = 64;
constexpr int kHeight = 32;
// How long the slow client holds every output frame: many frame periods.
constexpr auto kHoldTime = 1200ms;

struct LedgerCase {
    std::string name;
    std::string camera;  // the ZMCORE_SIMULATE form, a model that delivers frames unturned
    bool familyB;        // slots read in turn: the camera thread skips none
    // Above the model's minimum for the region, and long enough that a frame's arrival is known
    // to well within half a period on a busy machine.
    int framePeriodMs;
};

void PrintTo(const LedgerCase& c, std::ostream* os) {
    *os << c.camera;
}

std::int64_t clockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::uint64_t at(const ZmCoreLib::DropLedger& ledger, DropStage stage) {
    return ledger.lost[static_cast<std::size_t>(stage)];
}

// The frames the library accounts for: delivered and lost at its own stages.
std::uint64_t libraryTotal(const ZmCoreLib::DropLedger& ledger) {
    std::uint64_t total = ledger.delivered;
    for (DropStage stage :
         {DropStage::kNotReadInTime, DropStage::kBulkFailed, DropStage::kBulkShort, DropStage::kRawRingFull,
          DropStage::kOutputRingFull, DropStage::kDiscardedAtRestart})
        total += at(ledger, stage);
    return total;
}

// What the client noted of a frame it took.
struct Taken {
    ZmCoreLib::FrameInfo info;
    std::uint32_t patternNumber;  // the frame number the picture shows, modulo 2^bits
    std::int64_t takenMonotonicNs;
    std::int64_t takenRealtimeNs;
};

class Ledger : public SimulatedCameras, public ::testing::WithParamInterface<LedgerCase> {
protected:
    int bits() const { return GetParam().familyB ? 12 : 16; }

    void SetUp() override {
        SimulatedCameras::SetUp();
        attach(GetParam().camera);
        device_ = createDevice();
        ASSERT_NE(device_, nullptr);
        extension_ = Device::extensionOf(device_);
        ASSERT_NE(extension_, nullptr);
        setScalar(ids::kFrameWidth, ZmCoreLib::kUnitPixel, kWidth);
        setScalar(ids::kFrameHeight, ZmCoreLib::kUnitPixel, kHeight);
        setScalar(ids::kFrameX, ZmCoreLib::kUnitPixel, kX);
        setScalar(ids::kFrameY, ZmCoreLib::kUnitPixel, kY);
        setScalar(ids::kExposure, ZmCoreLib::kUnitMillisecond, kExposureMs);
        setScalar(ids::kFramePeriod, ZmCoreLib::kUnitMillisecond, GetParam().framePeriodMs);
        EXPECT_EQ(extension_->GetState(), ZmCoreLib::DeviceState::kClosed);
        output_ = device_->Open();
        ASSERT_NE(output_, nullptr);
        EXPECT_EQ(extension_->GetState(), ZmCoreLib::DeviceState::kOpen);
        device_->Start();
        EXPECT_EQ(extension_->GetState(), ZmCoreLib::DeviceState::kStarted);
    }

    void TearDown() override {
        for (ZmCoreLib::IFrame* frame : held_) frame->Release();
        if (device_ != nullptr) device_->Close();
        SimulatedCameras::TearDown();
    }

    void setScalar(unsigned id, int unit, int value) {
        ZmCoreLib::ISetting* setting = device_->FindSetting(id);
        ASSERT_NE(setting, nullptr) << std::hex << id;
        setting->GetScalar()->SetUnit(unit);
        setting->GetScalar()->SetValue(value);
        ASSERT_EQ(setting->GetScalar()->GetValue(), value) << std::hex << id;
    }

    ZmCoreLib::DropLedger ledger() {
        ZmCoreLib::DropLedger snapshot{};
        extension_->GetDropLedger(&snapshot);
        return snapshot;
    }

    // The next finished frame, still held; null when none came within the limit.
    ZmCoreLib::IFrame* nextFrame() {
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        ZmCoreLib::IFrame* frame = nullptr;
        while ((frame = output_->GetFrame()) == nullptr && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return frame;
    }

    // Notes the frame's info and picture number and gives the frame back.
    void note(ZmCoreLib::IFrame* frame) {
        Taken taken{};
        taken.takenMonotonicNs = clockNs(CLOCK_MONOTONIC);
        taken.takenRealtimeNs = clockNs(CLOCK_REALTIME);
        EXPECT_TRUE(extension_->GetFrameInfo(frame, &taken.info));
        const auto sample = static_cast<std::uint16_t>(
            static_cast<const std::uint16_t*>(frame->GetData())[0] >> (16 - bits()));
        taken.patternNumber = simulator::patternFrameNumber(sample, kY, kX, bits());
        EXPECT_TRUE(frame->Release());
        taken_.push_back(taken);
    }

    // Takes frames as they come until `done` holds or the limit passes.
    template <typename Done>
    void takeUntil(Done done, const char* what) {
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "gave up waiting for " << what;
                return;
            }
            if (ZmCoreLib::IFrame* frame = output_->GetFrame())
                note(frame);
            else
                std::this_thread::sleep_for(1ms);
        }
    }

    void takeFrames(std::size_t count) {
        const std::size_t until = taken_.size() + count;
        takeUntil([&] { return taken_.size() >= until; }, "frames");
    }

    Device* device_ = nullptr;
    ZmCoreLib::IDeviceEx* extension_ = nullptr;
    ZmCoreLib::IFrameBuffer* output_ = nullptr;
    std::vector<ZmCoreLib::IFrame*> held_;
    std::vector<Taken> taken_;
};

TEST_P(Ledger, DeliveredAndLostFramesAddUpToTheCamerasFramesStageByStage) {
    if (HasFatalFailure()) return;
    const std::int64_t startNs = clockNs(CLOCK_MONOTONIC);
    takeFrames(5);
    // Nothing lost yet: the library's numbers are the camera's.
    for (const Taken& t : taken_) {
        EXPECT_EQ(t.info.frameNumber & ((1u << bits()) - 1), t.patternNumber);
        EXPECT_EQ(t.info.framesMissedBefore, 0u) << "frame " << t.info.frameNumber;
    }

    camera().injectBulkTimeout();
    takeUntil([&] { return at(ledger(), DropStage::kBulkFailed) == 1; }, "the timed-out read");
    takeFrames(3);
    const std::size_t afterTimeout = taken_.size();
    camera().injectShortFrame(1000);
    takeUntil([&] { return at(ledger(), DropStage::kBulkShort) == 1; }, "the short read");
    takeFrames(3);

    // The slow client: holds every output frame while the camera goes on, then takes them late.
    while (held_.size() < static_cast<std::size_t>(ZmCoreLib::FrameBuffer::kFrameCount)) {
        ZmCoreLib::IFrame* frame = nextFrame();
        ASSERT_NE(frame, nullptr);
        held_.push_back(frame);
    }
    std::this_thread::sleep_for(kHoldTime);
    for (ZmCoreLib::IFrame* frame : held_) note(frame);
    held_.clear();
    takeUntil([&] { return at(ledger(), DropStage::kOutputRingFull) > 0; }, "frames lost to the held frames");
    takeFrames(5);

    device_->Stop();
    EXPECT_EQ(extension_->GetState(), ZmCoreLib::DeviceState::kOpen);
    simulator::SimulatedCamera& sim = camera();
    const auto madeByCamera = [&] { return std::uint64_t{sim.framesCaptured()} + sim.framesLost(); };
    // Once the camera thread has switched the acquisition off, neither side changes any more.
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (libraryTotal(ledger()) != madeByCamera() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    while (ZmCoreLib::IFrame* frame = output_->GetFrame()) note(frame);

    const ZmCoreLib::DropLedger final = ledger();
    const std::uint64_t late = at(final, DropStage::kNotReadInTime) + at(final, DropStage::kRawRingFull) +
                               at(final, DropStage::kOutputRingFull);
    EXPECT_EQ(libraryTotal(final), madeByCamera());
    EXPECT_EQ(at(final, DropStage::kBulkFailed), 1u);
    EXPECT_EQ(at(final, DropStage::kBulkShort), 1u);
    EXPECT_EQ(final.delivered, taken_.size()) << "every delivered frame reached the client";
    EXPECT_GT(at(final, DropStage::kOutputRingFull), 0u);
    if (GetParam().familyB) {
        // No slot is ever skipped: the frames the camera kept are the ones read, lost in the
        // transfer or left at the stop; the late ones are those it could not keep.
        EXPECT_EQ(late, sim.framesLost());
        EXPECT_EQ(final.delivered + at(final, DropStage::kBulkFailed) + at(final, DropStage::kBulkShort) +
                      at(final, DropStage::kDiscardedAtRestart),
                  sim.framesCaptured());
    } else {
        // Skipped slots are late too.
        EXPECT_GE(late, sim.framesLost());
    }
    EXPECT_EQ(at(final, DropStage::kReplacedInFilter), 0u);
    EXPECT_EQ(at(final, DropStage::kFileNotWritten), 0u);

    // Frame by frame: numbers ascend by one plus the gap flagged, and the gap after the
    // timed-out read is flagged where it shows.
    const std::int64_t stopNs = clockNs(CLOCK_MONOTONIC);
    std::uint32_t missedAfterTimeout = 0;
    for (std::size_t i = 0; i < taken_.size(); ++i) {
        const ZmCoreLib::FrameInfo& info = taken_[i].info;
        SCOPED_TRACE("frame " + std::to_string(info.frameNumber));
        if (i > 0) {
            EXPECT_EQ(info.frameNumber, taken_[i - 1].info.frameNumber + 1 + info.framesMissedBefore);
            EXPECT_GE(info.monotonicNs, taken_[i - 1].info.monotonicNs);
        }
        if (i >= 5 && i < afterTimeout) missedAfterTimeout += info.framesMissedBefore;
        EXPECT_GE(info.monotonicNs, startNs - 2'000'000'000);
        EXPECT_LE(info.monotonicNs, taken_[i].takenMonotonicNs);
        // Both clocks were read together: the frame's age is the same on both.
        EXPECT_NEAR(static_cast<double>(taken_[i].takenRealtimeNs - info.realtimeNs),
                    static_cast<double>(taken_[i].takenMonotonicNs - info.monotonicNs), 5e6);
        EXPECT_EQ(info.exposureNs, std::int64_t{kExposureMs} * 1'000'000);
        EXPECT_EQ(info.framePeriodNs, std::int64_t{GetParam().framePeriodMs} * 1'000'000);
        EXPECT_EQ(info.reserved, 0u);
    }
    EXPECT_LE(taken_.back().info.monotonicNs, stopNs);
    // The timed-out read's frame, and the frames the camera made while the read recovered.
    EXPECT_GE(missedAfterTimeout, 1u);
}

TEST_P(Ledger, FrameInfoAnswersOnlyForTheDevicesOwnFrames) {
    if (HasFatalFailure()) return;
    ZmCoreLib::IFrame* frame = nextFrame();
    ASSERT_NE(frame, nullptr);
    held_.push_back(frame);
    ZmCoreLib::FrameInfo info{};
    info.frameNumber = 77;
    EXPECT_FALSE(extension_->GetFrameInfo(nullptr, &info));
    EXPECT_FALSE(extension_->GetFrameInfo(frame, nullptr));
    ZmCoreLib::FrameBuffer other;
    ZmCoreLib::IMemBlock* foreign = other.Allocate(16);
    EXPECT_FALSE(extension_->GetFrameInfo(static_cast<ZmCoreLib::FrameMemBlock*>(foreign), &info));
    EXPECT_EQ(info.frameNumber, 77u) << "a refused call leaves the info alone";
    static_cast<ZmCoreLib::FrameMemBlock*>(foreign)->Release();
    EXPECT_TRUE(extension_->GetFrameInfo(frame, &info));
    EXPECT_EQ(info.frameNumber, 1u);
}

INSTANTIATE_TEST_SUITE_P(Models, Ledger,
                         ::testing::Values(LedgerCase{"MT9M032", "pid=0x0200,serial=1001,controller=2001",
                                                      false, 40},
                                           LedgerCase{"SonyIcx285B", "pid=0x2125,serial=1003", true, 100}),
                         [](const ::testing::TestParamInfo<LedgerCase>& param) { return param.param.name; });

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
