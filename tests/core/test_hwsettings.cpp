// Hardware-backed settings: scalar arithmetic (clamping, step grid, units, limits), enumeration
// items and register codes, and the check-then-notify order of every accepted change.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/checker.h"
#include "core/hwsetting.h"
#include "zmcorelib/ids.h"

using namespace ZmCoreLib;
using ZmCoreLib_v4::IChecker;

namespace {

constexpr int kNs = kUnitNanosecond;
constexpr int kUs = kUnitMicrosecond;
constexpr int kMs = kUnitMillisecond;
constexpr unsigned kExposure = 0x3004;
constexpr unsigned kGain = 0x3003;

// One log for the camera's checks and the observers' notifications, so their order shows.
struct EventLog {
    std::vector<std::string> events;
    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
};

class RecordingChecker final : public IChecker {
public:
    explicit RecordingChecker(EventLog& log) : log_(log) {}
    int Check(unsigned settingId) override {
        log_.events.push_back("check " + std::to_string(settingId));
        return 0;
    }

private:
    EventLog& log_;
};

class RecordingObserver final : public ISettingObserver {
public:
    explicit RecordingObserver(EventLog& log) : log_(log) {}
    void OnSettingChanged(ISetting* setting) override {
        log_.events.push_back("notify " + std::to_string(setting->GetId()));
    }

private:
    EventLog& log_;
};

const std::string kChecked = "check " + std::to_string(kExposure);
const std::string kNotified = "notify " + std::to_string(kExposure);

// A scalar wrapped in the exposure setting, with a recording camera and observer.
// Units offered: the display unit first, then the other of нс / мкс.
struct ScalarFixture {
    EventLog log;
    RecordingChecker checker{log};
    RecordingObserver observer{log};
    ZmCoreLib_v4::SettingScalar scalar{&checker};
    std::optional<Setting> setting;

    ScalarFixture(int displayUnit, std::int64_t minNs, std::int64_t maxNs, std::int64_t stepInDisplay) {
        scalar.AddUnit(displayUnit);
        scalar.AddUnit(displayUnit == kNs ? kUs : kNs);
        scalar.SetMax(static_cast<int>(maxNs), kNs);
        scalar.SetMin(static_cast<int>(minNs), kNs);
        scalar.SetStep(stepInDisplay);
        setting.emplace(kExposure, &scalar);
        setting->AddObserver(&observer);
    }
    std::int64_t valueNs() const { return scalar.GetValueIn(kNs); }
    // True when exactly one change was applied: checked once, then notified once.
    bool appliedOnce() const { return log.events == std::vector<std::string>{kChecked, kNotified}; }
};

constexpr std::int64_t kNever = INT64_MIN;  // leave the value never set

struct SetValueCase {
    const char* what;
    int displayUnit;
    std::int64_t minNs, maxNs, stepInDisplay;
    // Requested in the display unit once the range is set, or kNever. A minimum above 0 has
    // already moved a never-set value onto it, and the grid starts there.
    std::int64_t initial;
    int request;  // in the display unit
    std::int64_t expectedNs;
    bool applied;
    int lastChange;  // base units
    friend void PrintTo(const SetValueCase& c, std::ostream* out) { *out << c.what; }
};

class ScalarSetValue : public testing::TestWithParam<SetValueCase> {};

TEST_P(ScalarSetValue, ClampsAndRoundsOntoTheStepGrid) {
    const SetValueCase& c = GetParam();
    ScalarFixture f(c.displayUnit, c.minNs, c.maxNs, c.stepInDisplay);
    if (c.initial != kNever) f.scalar.SetValue(static_cast<int>(c.initial));
    f.log.events.clear();

    f.scalar.SetValue(c.request);
    EXPECT_EQ(f.valueNs(), c.expectedNs);
    if (c.applied) {
        EXPECT_TRUE(f.appliedOnce()) << testing::PrintToString(f.log.events);
    } else {
        EXPECT_TRUE(f.log.events.empty()) << testing::PrintToString(f.log.events);
    }
    EXPECT_EQ(f.scalar.GetLastChange(), c.lastChange);
}

const SetValueCase kSetValueCases[] = {
    // what, unit, min, max, step, initial, request, expected ns, applied, last change
    {"display_unit_scales_to_base", kUs, 0, 1000000, 1, 0, 5, 5000, true, 5000},
    {"same_value_in_range_is_not_applied", kUs, 0, 1000000, 1, 5, 5, 5000, false, 0},
    {"small_increase_moves_one_step_up", kNs, 100, 1000, 50, 200, 210, 250, true, 10},
    {"small_decrease_moves_one_step_down", kNs, 100, 1000, 50, 200, 190, 150, true, -10},
    {"small_decrease_from_off_grid_max_moves_one_step", kNs, 0, 120, 50, 500, 110, 70, true, -10},
    {"larger_move_rounds_toward_min_on_grid", kNs, 100, 1000, 50, 200, 337, 300, true, 137},
    {"grid_starts_at_min_not_zero", kNs, 30, 1000, 50, 30, 200, 180, true, 170},
    {"below_min_lands_on_min", kNs, 100, 1000, 50, 200, 50, 100, true, -150},
    {"below_min_at_min_applies_again", kNs, 100, 1000, 50, 100, 50, 100, true, -50},
    {"above_max_lands_on_max", kNs, 100, 1000, 50, 200, 2000, 1000, true, 1800},
    {"above_max_at_max_is_not_applied", kNs, 100, 1000, 50, 1000, 2000, 1000, false, 1000},
    {"below_zero_min_shows_one_display_unit", kUs, 0, 1000000, 1, 5, -1, 1000, true, -6000},
    {"min_below_one_display_unit_shows_one_unit", kUs, 300, 1000000, 1, 5, 0, 1000, true, -4300},
    {"min_above_display_unit_is_kept", kUs, 1500, 1000000, 1, 5, 1, 1500, true, -3500},
    {"one_display_unit_capped_at_max", kUs, 0, 500, 1, kNever, -1, 500, true, -999},
    {"never_set_goes_onto_grid_without_step_move", kNs, 0, 1000, 50, kNever, 30, 0, true, 31},
    {"never_set_in_range_equal_to_grid", kNs, 0, 1000, 1, kNever, 0, 0, true, 1},
    {"coarse_display_unit_steps_whole_units", kUs, 0, 1000000, 2, 4, 5, 6000, true, 1000},
};

INSTANTIATE_TEST_SUITE_P(Table, ScalarSetValue, testing::ValuesIn(kSetValueCases),
                         [](const testing::TestParamInfo<SetValueCase>& param) { return param.param.what; });

TEST(ScalarSetValueRange, AOneStepMoveNeverLeavesTheRange) {
    // A maximum off the step grid: one step up from 100 would reach 150, beyond the maximum.
    ScalarFixture nearMax(kNs, 0, 120, 50);
    nearMax.scalar.SetValue(100);
    nearMax.scalar.SetValue(110);
    EXPECT_EQ(nearMax.valueNs(), 120);

    // A minimum raised under a value that stays: one step down from 50 would reach 0, below it.
    ScalarFixture nearMin(kNs, 0, 1000, 50);
    nearMin.scalar.SetValue(50);
    nearMin.scalar.SetMin(20, kNs);
    ASSERT_EQ(nearMin.valueNs(), 50);
    nearMin.scalar.SetValue(40);
    EXPECT_EQ(nearMin.valueNs(), 20);
}

TEST(ScalarSetValueRange, ShiftMovesFromTheShownValue) {
    ScalarFixture f(kUs, 0, 1000000, 1);
    f.scalar.SetStep(1);
    f.scalar.SetValue(5);
    f.log.events.clear();
    f.scalar.Shift(1);
    EXPECT_EQ(f.valueNs(), 6000);
    EXPECT_TRUE(f.appliedOnce());
    f.scalar.Shift(-10);  // below the minimum 0: one whole display unit
    EXPECT_EQ(f.valueNs(), 1000);
}

TEST(ScalarNeverSet, HoldsMinusOneUntilSetOrRaisedByTheMinimum) {
    EventLog log;
    RecordingChecker checker(log);
    ZmCoreLib_v4::SettingScalar scalar(&checker);
    scalar.AddUnit(kNs);
    scalar.SetMax(1000, kNs);
    EXPECT_EQ(scalar.GetValueIn(kNs), -1);
    EXPECT_EQ(scalar.GetValue(), -1);

    Setting setting(kExposure, &scalar);
    scalar.SetMin(0, kNs);  // not a raise: nothing moves
    EXPECT_EQ(scalar.GetValueIn(kNs), -1);
    EXPECT_TRUE(log.events.empty());

    scalar.SetMin(10, kNs);
    EXPECT_EQ(scalar.GetValueIn(kNs), 10);
    EXPECT_EQ(log.events, std::vector<std::string>{kChecked});
}

TEST(ScalarLimits, SetMinRaisesMaxAndValueButLoweringChangesNothingElse) {
    ScalarFixture f(kNs, 100, 1000, 1);
    f.scalar.SetValue(200);
    f.log.events.clear();

    f.scalar.SetMin(50, kNs);  // lowering
    EXPECT_EQ(f.scalar.GetMin(kNs), 50);
    EXPECT_EQ(f.valueNs(), 200);
    EXPECT_TRUE(f.log.events.empty());

    f.scalar.SetMin(150, kNs);  // raising below the value
    EXPECT_EQ(f.valueNs(), 200);
    EXPECT_TRUE(f.log.events.empty());

    f.scalar.SetMin(3, kUs);  // raising above the value and the maximum
    EXPECT_EQ(f.scalar.GetMin(kNs), 3000);
    EXPECT_EQ(f.scalar.GetMax(kNs), 3000);
    EXPECT_EQ(f.valueNs(), 3000);
    EXPECT_TRUE(f.appliedOnce());
}

TEST(ScalarLimits, SetMaxNeitherReclampsNorNotifies) {
    ScalarFixture f(kNs, 0, 1000, 1);
    f.scalar.SetValue(800);
    f.log.events.clear();
    f.scalar.SetMax(500, kNs);
    EXPECT_EQ(f.scalar.GetMax(kNs), 500);
    EXPECT_EQ(f.valueNs(), 800);
    EXPECT_TRUE(f.log.events.empty());
}

TEST(ScalarLimits, MinAndMaxInUnitsRoundTowardZeroButAMinimumNeverShowsAsZero) {
    struct Case {
        std::int64_t minNs, maxNs;
        int unit;
        int expectedMin, expectedMax;
    };
    const Case cases[] = {
        {500, 999, kUs, 1, 0},         {0, 1000, kUs, 0, 1},      {1500, 2500, kUs, 1, 2},
        {2500, 1000000, kUs, 2, 1000}, {500, 1000000, kMs, 1, 1}, {500, 1000, kNs, 500, 1000},
    };
    for (const auto& c : cases) {
        ScalarFixture f(kNs, c.minNs, c.maxNs, 1);
        EXPECT_EQ(f.scalar.GetMin(c.unit), c.expectedMin) << c.minNs;
        EXPECT_EQ(f.scalar.GetMax(c.unit), c.expectedMax) << c.maxNs;
    }
}

struct UnitCase {
    const char* what;
    int from, to;
    std::int64_t valueNs;
    std::int64_t expectedNs;
    int expectedUnit;
    std::vector<std::string> events;
};

TEST(ScalarSetUnit, CoarserUnitsRequantiseFinerOnesOnlySwitch) {
    const UnitCase cases[] = {
        {"coarser_unit_off_its_grid", kNs, kUs, 1500, 1000, kUs, {kChecked, kNotified}},
        {"coarser_unit_on_its_grid", kNs, kUs, 2000, 2000, kUs, {}},
        {"finer_unit", kUs, kNs, 2000, 2000, kNs, {}},
        {"same_unit", kNs, kNs, 1500, 1500, kNs, {}},
        {"unit_not_offered_only_notifies", kNs, kMs, 1500, 1500, kNs, {kNotified}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScalarFixture f(c.from, 0, 1000000, 1);
        f.scalar.SetStep(1);
        f.scalar.SetValue(static_cast<int>(c.valueNs / (c.from == kUs ? 1000 : 1)));
        f.log.events.clear();

        f.scalar.SetUnit(c.to);
        EXPECT_EQ(f.valueNs(), c.expectedNs);
        EXPECT_EQ(f.scalar.GetUnit(), c.expectedUnit);
        EXPECT_EQ(f.scalar.GetValue(), c.expectedNs / (c.expectedUnit == kUs ? 1000 : 1));
        EXPECT_EQ(f.log.events, c.events);
    }
}

struct CouplingCase {
    const char* what;
    bool raise;
    std::int64_t amount;
    int unit;
    std::int64_t expectedNs;
    bool applied;
};

// Display unit мкс, step 1 мкс, value 5000 нс, range 0 … 10 мкс.
TEST(ScalarCoupling, LowerToRoundsDownAndRaiseToRoundsUpToTheDisplayUnit) {
    const CouplingCase cases[] = {
        {"lower_rounds_down", false, 4500, kNs, 4000, true},
        {"lower_to_higher_value_does_nothing", false, 6000, kNs, 5000, false},
        {"lower_to_equal_value_does_nothing", false, 5, kUs, 5000, false},
        {"raise_rounds_up", true, 5500, kNs, 6000, true},
        {"raise_by_whole_units", true, 7, kUs, 7000, true},
        {"raise_to_lower_value_does_nothing", true, 4000, kNs, 5000, false},
        {"raise_beyond_max_ends_at_max", true, 1, kMs, 10000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScalarFixture f(kUs, 0, 10000, 1);
        f.scalar.SetValue(5);
        f.log.events.clear();
        if (c.raise) {
            f.scalar.RaiseTo(c.amount, c.unit);
        } else {
            f.scalar.LowerTo(c.amount, c.unit);
        }
        EXPECT_EQ(f.valueNs(), c.expectedNs);
        EXPECT_EQ(f.appliedOnce(), c.applied) << testing::PrintToString(f.log.events);
        EXPECT_EQ(f.log.events.empty(), !c.applied);
    }
}

// Family B's frame period reaches 1000000 мс: 10^12 нс, far beyond an int.
TEST(ScalarCoupling, ValuesBeyondTheIntRangeStayExactInside) {
    EventLog log;
    RecordingChecker checker(log);
    ZmCoreLib_v4::SettingScalar period(&checker);
    period.AddUnit(kNs);
    period.AddUnit(kMs);
    period.SetMin(10, kMs);
    period.SetMax(1000000, kMs);
    period.RaiseTo(1000000, kMs);
    EXPECT_EQ(period.GetValueIn(kNs), 1000000000000);
    EXPECT_EQ(period.GetValueIn(kMs), 1000000);
    EXPECT_EQ(period.GetValue(), INT_MAX);  // shown in нс: saturated, not wrapped
    EXPECT_EQ(period.GetMax(kNs), INT_MAX);
    period.SetUnit(kMs);
    EXPECT_EQ(period.GetValue(), 1000000);
}

TEST(ScalarCameraSide, StepWrittenValueAndReferenceConvertBetweenUnits) {
    ScalarFixture f(kUs, 0, 1000000, 2);
    EXPECT_EQ(f.scalar.GetStepIn(kNs), 2000);
    EXPECT_EQ(f.scalar.GetStepIn(kUs), 2);

    f.scalar.SetValue(8);
    EXPECT_EQ(f.scalar.GetWrittenIn(kNs), 0);
    f.scalar.MarkWritten();
    f.scalar.SetValue(20);
    EXPECT_EQ(f.scalar.GetWrittenIn(kUs), 8);
    EXPECT_EQ(f.scalar.GetValueIn(kUs), 20);

    f.scalar.SetReference(1500, kNs);
    EXPECT_EQ(f.scalar.GetReference(), 1);  // in the display unit, truncated
    f.scalar.SetUnit(kNs);
    EXPECT_EQ(f.scalar.GetReference(), 1500);

    f.scalar.setHwAddress(0x21);
    EXPECT_EQ(f.scalar.hwAddress(), 0x21);
}

TEST(ScalarUnits, OfferedInOrderAddedWithCatalogueTexts) {
    ZmCoreLib_v4::SettingScalar scalar(nullptr);
    scalar.AddUnit(kMs);
    scalar.AddUnit(kNs);
    scalar.AddUnit(kUnitSecond);
    EXPECT_EQ(scalar.GetUnit(), kMs);
    IPairIterator* units = scalar.GetUnits();
    std::vector<int> ids;
    std::u16string texts;
    for (units->First(); !units->IsDone(); units->Next()) {
        ids.push_back(units->Current()->GetKey());
        texts += units->Current()->GetName();
        texts += u'|';
    }
    units->Release();
    EXPECT_EQ(ids, (std::vector<int>{kMs, kNs, kUnitSecond}));
    EXPECT_EQ(texts, u"мс|нс|cек|");
    EXPECT_THROW(scalar.AddUnit(0x4010), std::invalid_argument);
}

TEST(ScalarUnwrapped, BuilderValuesAreStoredWithoutCheckingTheCamera) {
    EventLog log;
    RecordingChecker checker(log);
    ZmCoreLib_v4::SettingScalar scalar(&checker);
    scalar.AddUnit(kMs);
    scalar.SetMax(1000, kMs);
    scalar.SetMin(10, kMs);
    scalar.SetValue(100);
    EXPECT_EQ(scalar.GetValue(), 100);
    EXPECT_TRUE(log.events.empty());

    Setting setting(kExposure, &scalar);
    scalar.SetValue(200);
    EXPECT_EQ(log.events, std::vector<std::string>{kChecked});
}

// ---------------------------------------------------------------------------------------------
// Enumeration

const std::string kGainChecked = "check " + std::to_string(kGain);
const std::string kGainNotified = "notify " + std::to_string(kGain);

struct EnumFixture {
    EventLog log;
    RecordingChecker checker{log};
    RecordingObserver observer{log};
    ZmCoreLib_v4::SettingEnum gain{&checker};
    std::optional<Setting> setting;

    EnumFixture() {
        gain.AddItem(0x5005, 0);
        gain.AddItem(0x5006, 1);
        gain.AddItem(0x5008, 3);
        setting.emplace(kGain, &gain);
        setting->AddObserver(&observer);
    }
};

TEST(Enumeration, ItemsCarryCatalogueTextsAndRegisterCodes) {
    EnumFixture f;
    EXPECT_EQ(f.gain.GetValue(), 0);
    IPairIterator* items = f.gain.GetItems();
    std::vector<int> ids;
    std::u16string texts;
    for (items->First(); !items->IsDone(); items->Next()) {
        ids.push_back(items->Current()->GetKey());
        texts += items->Current()->GetName();
        texts += u'|';
    }
    items->Release();
    EXPECT_EQ(ids, (std::vector<int>{0x5005, 0x5006, 0x5008}));
    EXPECT_EQ(texts, u"0 dB|6 dB|18 dB|");

    EXPECT_TRUE(f.gain.SetValue(0x5008));
    EXPECT_EQ(f.gain.GetValue(), 0x5008);
    EXPECT_EQ(f.gain.GetRegisterCode(), 3);
    EXPECT_EQ(f.log.events, (std::vector<std::string>{kGainChecked, kGainNotified}));

    EXPECT_TRUE(f.gain.SetValue(0x5008));  // the same value applies again
    EXPECT_EQ(f.log.events.size(), 4u);

    EXPECT_THROW(f.gain.AddItem(0x500A, 9), std::invalid_argument);
}

TEST(Enumeration, RefusesValuesThatAreNotItems) {
    EnumFixture f;
    ASSERT_TRUE(f.gain.SetValue(0x5006));
    f.log.events.clear();
    for (int refused : {0x5007, 0x5001, 0, -1}) {
        EXPECT_FALSE(f.gain.SetValue(refused)) << refused;
    }
    EXPECT_EQ(f.gain.GetValue(), 0x5006);
    EXPECT_EQ(f.gain.GetRegisterCode(), 1);
    EXPECT_TRUE(f.log.events.empty());
}

TEST(Enumeration, SetItemsCopiesTheListAndKeepsRegisterCodes) {
    EnumFixture f;
    std::vector<Pair> choices{Pair(0x5008, u"max"), Pair(0x5007, u"no code")};
    IPairIterator* source = new PairIterator(&choices);
    f.gain.SetItems(source);
    source->Release();
    choices.clear();  // the setting holds its own copies

    EXPECT_FALSE(f.gain.SetValue(0x5005));  // no longer an item
    EXPECT_TRUE(f.gain.SetValue(0x5008));
    EXPECT_EQ(f.gain.GetRegisterCode(), 3);  // code from AddItem survives
    EXPECT_TRUE(f.gain.SetValue(0x5007));
    EXPECT_EQ(f.gain.GetRegisterCode(), 0);  // an item without a code maps to 0

    IPairIterator* items = f.gain.GetItems();
    items->First();
    EXPECT_EQ(std::u16string(items->Current()->GetName()), u"max");
    items->Release();

    f.gain.SetItems(nullptr);
    EXPECT_FALSE(f.gain.SetValue(0x5008));
}

TEST(Enumeration, EnabledFlagOfTheKindIsTheSettings) {
    EnumFixture f;
    f.gain.setEnabled(false);
    EXPECT_FALSE(f.setting->IsEnabled());
    EXPECT_EQ(f.log.events, std::vector<std::string>{kGainNotified});  // no camera check
    EXPECT_EQ(f.setting->GetEnum(), &f.gain);
    EXPECT_EQ(f.setting->GetScalar(), nullptr);
}

}  // namespace
