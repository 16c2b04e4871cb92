// The image-intensifier module: which internal registers each setting reaches with which value
// (the recorded register log is the assertion), and how the operating mode enables settings.
#include "hardware/moduleiccd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fakehwlayer.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {
namespace {

using testing_support::FakeHwLayer;
using testing_support::RegisterWrite;

constexpr unsigned kBase = 0xE2000B;  // the module address register of a camera

constexpr unsigned kStartMode = 0x3201;
constexpr unsigned kMode = 0x3202;
constexpr unsigned kMcp = 0x3203;
constexpr unsigned kDelay = 0x3204;
constexpr unsigned kDuration = 0x3205;
constexpr unsigned kPause = 0x3206;
constexpr unsigned kPulses = 0x3207;
constexpr unsigned kFirstDelay = 0x3208;
constexpr unsigned kFirstDuration = 0x3209;
constexpr unsigned kShutterPause = 0x320C;
constexpr unsigned kSecondDuration = 0x320D;
constexpr unsigned kDiaphragm = 0x3210;

constexpr int kOff = 0x5013;
constexpr int kAlignment = 0x5014;
constexpr int kSingleFrame = 0x5015;
constexpr int kTwoFrames = 0x501A;

// Stands in for the camera: records every check and forwards it to the module as a camera's
// Check does.
class ForwardingCamera final : public IChecker {
public:
    int Check(unsigned settingId) override {
        checks.push_back(settingId);
        if (module) module->SettingChanged(settingId);
        return 0;
    }
    ModuleIccd* module = nullptr;
    std::vector<unsigned> checks;
};

class CountingObserver final : public ZmCoreLib::ISettingObserver {
public:
    void OnSettingChanged(ZmCoreLib::ISetting* setting) override { ++counts[setting->GetId()]; }
    std::map<unsigned, int> counts;
};

struct ModuleFixture {
    explicit ModuleFixture(int type) : module(&camera, type) {
        camera.module = &module;
        module.SetHwLayer(&layer);
        module.SetBaseAddress(static_cast<int>(kBase));
    }
    // The module's settings as a client walks them.
    std::vector<ZmCoreLib::ISetting*> settings() {
        std::vector<ZmCoreLib::ISetting*> all;
        ZmCoreLib::ISettingIterator* it = module.GetSettings();
        for (it->First(); !it->IsDone(); it->Next()) all.push_back(it->Current());
        it->Release();
        return all;
    }
    ZmCoreLib::ISetting* find(unsigned id) {
        for (ZmCoreLib::ISetting* setting : settings()) {
            if (setting->GetId() == id) return setting;
        }
        ADD_FAILURE() << "no setting " << std::hex << id;
        return nullptr;
    }
    // Sets a value as a client would: an enumeration value id or a scalar in its display unit.
    void set(unsigned id, int value) {
        ZmCoreLib::ISetting* setting = find(id);
        if (setting->GetEnum() != nullptr) {
            ASSERT_TRUE(setting->GetEnum()->SetValue(value));
        } else {
            setting->GetScalar()->SetValue(value);
        }
    }
    std::set<unsigned> enabledIds() {
        std::set<unsigned> ids;
        for (ZmCoreLib::ISetting* setting : settings()) {
            if (setting->IsEnabled()) ids.insert(setting->GetId());
        }
        return ids;
    }

    ForwardingCamera camera;
    FakeHwLayer layer;
    ModuleIccd module;
};

// The two writes of one internal register: its number into the address register, then the value.
std::vector<RegisterWrite> internalWrites(std::initializer_list<std::pair<unsigned, unsigned>> registers) {
    std::vector<RegisterWrite> writes;
    for (auto [number, value] : registers) {
        writes.push_back({kBase, number});
        writes.push_back({kBase + 1, value});
    }
    return writes;
}

struct ApplyCase {
    std::string name;
    int type;
    std::vector<std::pair<unsigned, int>> settings;  // applied in order, as a client would
    unsigned applied;
    std::vector<RegisterWrite> expected;
    friend void PrintTo(const ApplyCase& c, std::ostream* out) { *out << c.name; }
};

class ModuleApplyTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ModuleApplyTest, WritesTheInternalRegisters) {
    const ApplyCase& c = GetParam();
    ModuleFixture f(c.type);
    for (auto [id, value] : c.settings) f.set(id, value);
    f.layer.clearWrites();
    f.module.Apply(c.applied);
    EXPECT_EQ(f.layer.writes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, ModuleApplyTest,
    ::testing::Values(
        // 20000 ns longest duration x 50 % / (100 % x 20 ns step) = 500, then one pulse, then the mode.
        ApplyCase{"Type1AlignmentGatesWithTheDiaphragmPulse",
                  1,
                  {{kMode, kAlignment}, {kDiaphragm, 50}},
                  kMode,
                  internalWrites({{5, 500}, {7, 1}, {1, 1}})},
        ApplyCase{"Type1SingleFrameWritesDurationStepsAndPulses",
                  1,
                  {{kMode, kSingleFrame}, {kDuration, 60}, {kPulses, 3}},
                  kMode,
                  internalWrites({{5, 3}, {7, 3}, {1, 2}})},
        ApplyCase{"Type3TwoFramesWritesTheFirstDurationAndNoPulseCount",
                  3,
                  {{kMode, kTwoFrames}, {kFirstDuration, 700}},
                  kMode,
                  internalWrites({{5, 700}, {1, 3}})},
        ApplyCase{"Type5SingleFrameCountsDurationFromOneStep",
                  5,
                  {{kMode, kSingleFrame}, {kDuration, 30}},
                  kMode,
                  internalWrites({{5, 4}, {1, 2}})},
        ApplyCase{"ModeOffWritesOnlyTheMode",
                  1,
                  {{kMode, kAlignment}, {kMode, kOff}},
                  kMode,
                  internalWrites({{1, 0}})},
        ApplyCase{"Type1DelayCountsFromOneStep", 1, {{kDelay, 100}}, kDelay, internalWrites({{4, 6}})},
        ApplyCase{"Type2DelayInNanoseconds", 2, {{kDelay, 100}}, kDelay, internalWrites({{4, 100}})},
        ApplyCase{"Type3FirstDelay", 3, {{kFirstDelay, 1234}}, kFirstDelay, internalWrites({{4, 1234}})},
        ApplyCase{"Type5DurationSingleFrame",
                  5,
                  {{kMode, kSingleFrame}, {kDuration, 30}},
                  kDuration,
                  internalWrites({{5, 4}})},
        // The duration shares its register with the diaphragm, which owns it while aligning.
        ApplyCase{"DurationInAlignmentWritesNothing", 1, {{kMode, kAlignment}}, kDuration, {}},
        ApplyCase{"DiaphragmOutsideAlignmentWritesNothing", 1, {{kMode, kSingleFrame}}, kDiaphragm, {}},
        ApplyCase{"DiaphragmInAlignment",
                  5,
                  {{kMode, kAlignment}, {kDiaphragm, 25}},
                  kDiaphragm,
                  internalWrites({{5, 20000 * 25 / (100 * 10)}})},
        ApplyCase{"McpVoltageInVolts", 4, {{kMcp, 650}}, kMcp, internalWrites({{3, 650}})},
        ApplyCase{"PauseBetweenExposures", 1, {{kPause, 2000}}, kPause, internalWrites({{6, 100}})},
        ApplyCase{"Type3PauseBetweenShutterPulses",
                  3,
                  {{kShutterPause, 6000}},
                  kShutterPause,
                  internalWrites({{8, 6000}})},
        ApplyCase{"Type3StartMode", 3, {{kStartMode, 0x5016}}, kStartMode, internalWrites({{2, 1}})},
        ApplyCase{
            "Type3SecondDuration", 3, {{kSecondDuration, 77}}, kSecondDuration, internalWrites({{9, 77}})},
        ApplyCase{"IdsTheTypeLacksWriteNothing", 5, {}, kPulses, {}},
        ApplyCase{"ForeignIdsAreIgnored", 1, {}, 0x3004, {}}),
    [](const ::testing::TestParamInfo<ApplyCase>& param) { return param.param.name; });

struct ModeCase {
    std::string name;
    int type;
    int mode;
    std::set<unsigned> enabled;
    friend void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }
};

class ModuleModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModuleModeTest, EnablesTheSettingsTheModeUsesAndNotifiesEachChangeOnce) {
    const ModeCase& c = GetParam();
    ModuleFixture f(c.type);
    CountingObserver observer;
    for (ZmCoreLib::ISetting* setting : f.settings()) setting->AddObserver(&observer);
    const std::set<unsigned> before = f.enabledIds();

    f.set(kMode, c.mode);

    EXPECT_EQ(f.enabledIds(), c.enabled);
    for (unsigned id : before) {
        if (id == kMode) continue;
        EXPECT_EQ(observer.counts[id], c.enabled.count(id) ? 0 : 1) << std::hex << id;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModuleModeTest,
    ::testing::Values(
        ModeCase{"Type1Off", 1, kOff, {kMode}}, ModeCase{"Type3Off", 3, kOff, {kMode}},
        ModeCase{"Type1Alignment", 1, kAlignment, {kMode, kMcp, kDiaphragm}},
        ModeCase{"Type1SingleFrame", 1, kSingleFrame, {kMode, kMcp, kDuration, kDelay, kPause, kPulses}},
        ModeCase{"Type3SingleFrame", 3, kSingleFrame, {kMode, kMcp, kFirstDuration, kFirstDelay}},
        ModeCase{"Type3TwoFrames",
                 3,
                 kTwoFrames,
                 {kMode, kMcp, kStartMode, kFirstDuration, kSecondDuration, kFirstDelay, kShutterPause}},
        ModeCase{"Type5SingleFrame", 5, kSingleFrame, {kMode, kMcp, kDuration, kDelay}}),
    [](const ::testing::TestParamInfo<ModeCase>& param) { return param.param.name; });

TEST(ModuleIccdTest, GatingModesNarrowTheDiaphragmThroughTheCamera) {
    ModuleFixture f(1);
    f.set(kMode, kAlignment);
    f.set(kDiaphragm, 80);
    f.camera.checks.clear();

    f.set(kMode, kSingleFrame);

    EXPECT_EQ(f.find(kDiaphragm)->GetScalar()->GetValue(), 1);
    // The camera saw the mode, then the diaphragm it implies, so both reach the registers.
    EXPECT_EQ(f.camera.checks, (std::vector<unsigned>{kMode, kDiaphragm}));
}

TEST(ModuleIccdTest, SecondPulseFollowsTheCamerasTwoFrameMode) {
    ModuleFixture f(3);
    f.module.SetSecondPulseEnabled(false);
    std::set<unsigned> expected = f.enabledIds();
    EXPECT_EQ(expected.count(kSecondDuration) + expected.count(kShutterPause), 0u);
    f.module.SetSecondPulseEnabled(true);
    expected.insert({kSecondDuration, kShutterPause});
    EXPECT_EQ(f.enabledIds(), expected);
}

struct LayoutCase {
    int type;
    std::vector<unsigned> ids;
    int rotation;
};

TEST(ModuleIccdTest, EachTypeListsItsSettingsInOrderAndTurnsThePicture) {
    const LayoutCase cases[] = {
        {1, {kMode, kMcp, kDiaphragm, kDelay, kDuration, kPause, kPulses}, 180},
        {2, {kMode, kMcp, kDiaphragm, kDelay, kDuration, kPause, kPulses}, 180},
        {3,
         {kMode, kMcp, kDiaphragm, kFirstDelay, kFirstDuration, kSecondDuration, kShutterPause, kStartMode},
         180},
        {4, {kMode, kMcp, kDiaphragm, kDelay, kDuration, kPause, kPulses}, 180},
        {5, {kMode, kMcp, kDiaphragm, kDelay, kDuration}, 0},
    };
    for (const LayoutCase& c : cases) {
        ModuleFixture f(c.type);
        std::vector<unsigned> ids;
        for (ZmCoreLib::ISetting* setting : f.settings()) ids.push_back(setting->GetId());
        EXPECT_EQ(ids, c.ids) << "type " << c.type;
        EXPECT_EQ(f.module.GetRotation(), c.rotation) << "type " << c.type;
    }
}

TEST(ModuleIccdTest, InitialValuesAreWrittenAsBuilt) {
    // Type 4's duration starts below its 10 ns minimum and is raised to it; nothing was written
    // or checked while building.
    ModuleFixture f(4);
    EXPECT_TRUE(f.layer.writes().empty());
    EXPECT_TRUE(f.camera.checks.empty());
    f.set(kMode, kSingleFrame);
    f.layer.clearWrites();
    f.module.Apply(kDuration);
    EXPECT_EQ(f.layer.writes(), internalWrites({{5, 10}}));
}

}  // namespace
}  // namespace ZmCoreLib_v4
