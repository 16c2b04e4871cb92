// Register programming, read back from the simulated camera's request log: what a changed setting
// makes the camera thread write while the acquisition is off, byte for byte, and how a change
// couples to other settings first.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/hwsetting.h"
#include "devices/settingids.h"
#include "simulatedcameras.h"
#include "zmcorelib/framebuffer.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

using namespace std::chrono_literals;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;

constexpr auto kWaitLimit = 10s;
constexpr auto kPollPause = 5ms;

// One control OUT request to a register window: the register and the bytes it took.
struct Write {
    unsigned address;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Write&, const Write&) = default;
};

void PrintTo(const Write& write, std::ostream* out) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X:", write.address);
    *out << text;
    for (std::uint8_t byte : write.bytes) {
        std::snprintf(text, sizeof text, " %02X", byte);
        *out << text;
    }
}

// A 24-bit register value as the three bytes it is sent as.
Write word(unsigned address, unsigned value) {
    return {address,
            {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value)}};
}

unsigned valueOf(const Write& write) {
    unsigned value = 0;
    for (std::uint8_t byte : write.bytes) value = value << 8 | byte;
    return value;
}

constexpr unsigned kBufferManager = 0xE2000C;
constexpr unsigned kAcquisitionEnable = 1u << 2;

enum class Family { A, B };

// What the camera thread wrote for one batch of changes: the writes of the setting rows (between
// switching the acquisition off and on again) and the control register value it switched on with.
struct Programming {
    std::vector<Write> rows;
    std::vector<Write> rowsBeforeRestart;  // every write between off and on, switch-on included
    unsigned controlAtRestart = 0;
};

class RegisterProgramming : public SimulatedCameras {
protected:
    // Discovers the camera, builds it, opens and starts it, and waits for its first frame, so that
    // the settings its model queued at construction have been written.
    void startCamera(const std::string& cameras, Family family) {
        family_ = family;
        attach(cameras);
        device_ = createDevice();
        ASSERT_NE(device_, nullptr);
        ZmCoreLib::IFrameBuffer* output = device_->Open();
        device_->Start();
        ASSERT_TRUE(waitFor([&] {
            ZmCoreLib::IFrame* frame = output->GetFrame();
            if (frame != nullptr) frame->Release();
            return frame != nullptr;
        })) << "no first frame";
    }

    void TearDown() override {
        if (device_ != nullptr) device_->Close();
        SimulatedCameras::TearDown();
    }

    static bool waitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(kPollPause);
        }
        return true;
    }

    std::vector<Write> writes() {
        std::vector<Write> result;
        for (const simulator::LoggedRequest& entry : camera().log().snapshot()) {
            const bool registerWindow = entry.setup.request == 0xE2 || entry.setup.request == 0xE3;
            if (entry.kind != simulator::LoggedRequest::Kind::Control || entry.setup.isIn() ||
                !registerWindow) {
                continue;
            }
            result.push_back(
                {static_cast<unsigned>(entry.setup.request) << 16 | (entry.setup.value & 0xFFu), entry.data});
        }
        return result;
    }

    // Makes the change on this (client) thread and waits until the camera thread has written it
    // and switched the acquisition on again.
    Programming program(const std::function<void()>& change) {
        camera().log().clear();
        change();
        std::optional<Programming> programmed;
        waitFor([&] {
            programmed = split(writes());
            return programmed.has_value();
        });
        EXPECT_TRUE(programmed.has_value()) << "the camera thread wrote nothing";
        return programmed.value_or(Programming{});
    }

    // Family A switches on with the synchronisation and control registers, family B with the
    // control register, before it enables the buffer manager.
    std::optional<Programming> split(const std::vector<Write>& all) const {
        const auto isBufferManager = [](const Write& w, bool enabled) {
            return w.address == kBufferManager && ((valueOf(w) & kAcquisitionEnable) != 0) == enabled;
        };
        std::size_t off = 0;
        while (off < all.size() && !isBufferManager(all[off], false)) ++off;
        std::size_t on = off + 1;
        while (on < all.size() && !isBufferManager(all[on], true)) ++on;
        if (on >= all.size()) return std::nullopt;
        const std::size_t switchOnWrites = family_ == Family::A ? 2 : 1;
        Programming result;
        result.rows.assign(all.begin() + static_cast<std::ptrdiff_t>(off + 1),
                           all.begin() + static_cast<std::ptrdiff_t>(on - switchOnWrites));
        result.rowsBeforeRestart.assign(all.begin() + static_cast<std::ptrdiff_t>(off + 1),
                                        all.begin() + static_cast<std::ptrdiff_t>(on));
        result.controlAtRestart = valueOf(all[on - 1]);
        return result;
    }

    ZmCoreLib::ISettingScalar& scalar(unsigned id) { return *device_->FindSetting(id)->GetScalar(); }
    ZmCoreLib::ISettingEnum& choice(unsigned id) { return *device_->FindSetting(id)->GetEnum(); }

    Family family_ = Family::A;
    Device* device_ = nullptr;
};

// ---- Family A ------------------------------------------------------------------------------

constexpr char kIcx285A[] = "pid=0x2200";
constexpr char kIcx285AFibreOptic[] = "pid=0x2011,type=0x2280";
constexpr char kDalsa[] = "pid=0x2311";

struct RowCase {
    const char* what;
    const char* cameras;
    Family family;
    std::function<void(RegisterProgramming&, Device&)> change;
    std::vector<Write> rows;
};

void PrintTo(const RowCase& c, std::ostream* out) {
    *out << c.what;
}

void setScalar(Device& device, unsigned id, int value) {
    device.FindSetting(id)->GetScalar()->SetValue(value);
}
void setChoice(Device& device, unsigned id, int value) {
    device.FindSetting(id)->GetEnum()->SetValue(value);
}

auto scalarTo(unsigned id, int value) {
    return [id, value](RegisterProgramming&, Device& device) { setScalar(device, id, value); };
}
auto choiceTo(unsigned id, int value) {
    return [id, value](RegisterProgramming&, Device& device) { setChoice(device, id, value); };
}

const RowCase kRowCases[] = {
    // Family A: times in whole microseconds, most significant byte first.
    {"A frame period 300 мс",
     kIcx285A,
     Family::A,
     scalarTo(ids::kFramePeriod, 300),
     {word(0xE20001, 300000)}},
    {"A frame period over fibre optics",
     kIcx285AFibreOptic,
     Family::A,
     scalarTo(ids::kFramePeriod, 300),
     {word(0xE20061, 300000)}},
    {"A exposure 40 мс", kIcx285A, Family::A, scalarTo(ids::kExposure, 40), {word(0xE20002, 40000)}},
    // Longer than the frame period: the frame period follows; the last change is written first.
    {"A exposure 400 мс raises the frame period",
     kIcx285A,
     Family::A,
     scalarTo(ids::kExposure, 400),
     {word(0xE20002, 400000), word(0xE20001, 400000)}},
    {"A gain 12 dB",
     kIcx285A,
     Family::A,
     choiceTo(ids::kGain, ids::kGain12dB),
     {{0xE30002, {2, 2}}, {0xE30008, {8, 2}}}},
    // Binning by two halves the width's range; the width takes the whole binned sensor. Position
    // and size count sensor pixels, so both follow the binning.
    {"A binning X 2",
     kIcx285A,
     Family::A,
     scalarTo(ids::kBinningX, 2),
     {{0xE20006, {0, 1, 0}}, word(0xE20004, 0), word(0xE20005, (696u * 2) << 12 | 1040)}},
    {"A binning Y 4",
     kIcx285A,
     Family::A,
     scalarTo(ids::kBinningY, 4),
     {{0xE20006, {0, 0, 3}}, word(0xE20004, 0), word(0xE20005, 1380u << 12 | 260 * 4)}},
    {"A position X 100", kIcx285A, Family::A, scalarTo(ids::kFrameX, 100), {word(0xE20004, 100u << 12)}},
    {"A height 500",
     kIcx285A,
     Family::A,
     scalarTo(ids::kFrameHeight, 500),
     {word(0xE20005, 1380u << 12 | 500)}},
    {"A input source TTL",
     kIcx285A,
     Family::A,
     choiceTo(ids::kInputSource, ids::kSourceExternalTtl),
     {word(0xE20009, 0x12)}},
    {"A input event low level",
     kIcx285A,
     Family::A,
     choiceTo(ids::kInputEvent, ids::kEventLowLevel),
     {word(0xE20009, 0x82)}},
    // Dalsa: the chronogram start with the input mode's value id, the line period in pixel clocks.
    {"A chronogram start 400",
     kDalsa,
     Family::A,
     scalarTo(ids::kChronogramStart, 400),
     {{0xE20008, {0x18, 1, 0x90}}}},
    {"A line period 2000 нс", kDalsa, Family::A, scalarTo(ids::kLinePeriod, 2000), {{0xE20007, {0, 0, 156}}}},
    {"A line mode",
     kDalsa,
     Family::A,
     choiceTo(ids::kInputMode, ids::kModeLine),
     {{0xE20008, {0x19, 1, 0x86}}, word(0xE20009, 0x02)}},
    {"A synchronisation outputs allowed",
     kDalsa,
     Family::A,
     choiceTo(ids::kSyncOutputs, ids::kAllowed),
     {{0xE20008, {0x18, 1, 0x86}}, word(0xE20009, 0x102)}},

    // Family B: time words carry their unit; the analog front end takes all three registers.
    {"B frame period 600 мс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kFramePeriod, 600),
     {word(0xE20001, 0x800000 | 599)}},
    {"B multi-exposure period 200 000 мкс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kMultiExposurePeriod, 200000),
     {word(0xE20002, 0x400000 | 200000)}},
    {"B exposure 50 мс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kExposure, 50),
     {word(0xE20003, 0x800000 | 50)}},
    {"B illumination pulse 20 мкс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kIlluminationPulse, 20),
     {word(0xE20004, 0x400000 | 20)}},
    {"B exposure start delay 5000 нс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kExposureStartDelay, 5000),
     {word(0xE20009, 300)}},
    {"B gain 6 dB",
     "pid=0x2121",
     Family::B,
     choiceTo(ids::kGain, ids::kGain6dB),
     {{0xE30002, {2, 0}}, {0xE30003, {3, 0}}, {0xE30008, {8, 1}}}},
    {"B data delay 4 нс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kDataDelay, 4),
     {{0xE30002, {2, 2}}, {0xE30003, {3, 0}}, {0xE30008, {8, 0}}}},
    {"B SHD sampling delay 2 нс",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kShdSamplingDelay, 2),
     {{0xE30002, {2, 0}}, {0xE30003, {3, 1}}, {0xE30008, {8, 0}}}},
    {"B position Y 20", "pid=0x2121", Family::B, scalarTo(ids::kFrameY, 20), {word(0xE20005, 20)}},
    {"B width 800",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kFrameWidth, 800),
     {word(0xE20006, 800u << 12 | 1040)}},
    {"B frames per start 300",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kFramesPerStart, 300),
     {{0xE20008, {0, 1, 0x2C}}}},
    {"B frames per start above 16 bits",
     "pid=0x2121",
     Family::B,
     scalarTo(ids::kFramesPerStart, 100000),
     {{0xE20008, {0, 0xFF, 0xFF}}}},
    // The exposure raises a frame period shown in нс beyond the int range of the interface: the
    // period's word comes from its whole value, 3 s, not from the 2.147 s the interface shows.
    {"B frame period of 3 s shown in нс",
     "pid=0x2121",
     Family::B,
     [](RegisterProgramming&, Device& device) {
         device.FindSetting(ids::kFramePeriod)->GetScalar()->SetUnit(kUnitNanosecond);
         setScalar(device, ids::kExposure, 3000);
     },
     {word(0xE20003, 0x800000 | 3000), word(0xE20002, 0x400000 | 1000000), word(0xE20001, 0x800000 | 2999)}},
    {"B exposure over fibre optics",
     "pid=0x2011,type=0x6120",
     Family::B,
     scalarTo(ids::kExposure, 50),
     {word(0xE20063, 0x800000 | 50)}},

    // Settings of an intensifier module go to the module: its internal register number into the
    // module address register, the value into the register after it.
    {"B intensifier MCP voltage",
     "pid=0x212F,module=1",
     Family::B,
     scalarTo(0x3203, 500),
     {word(0xE2000A, 3), word(0xE2000B, 500)}},
    {"A intensifier MCP voltage over fibre optics",
     "pid=0x2011,type=0x2280,module=5",
     Family::A,
     scalarTo(0x3203, 600),
     {word(0xE2006B, 3), word(0xE2006C, 600)}},
};

class RegisterRows : public RegisterProgramming, public ::testing::WithParamInterface<RowCase> {};

TEST_P(RegisterRows, WriteTheSettingWithTheAcquisitionOff) {
    const RowCase& c = GetParam();
    startCamera(c.cameras, c.family);
    ASSERT_NE(device_, nullptr);
    const Programming programmed = program([&] { c.change(*this, *device_); });
    EXPECT_EQ(programmed.rows, c.rows);
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, RegisterRows, ::testing::ValuesIn(kRowCases));

TEST_F(RegisterProgramming, WrittenValuesAreRememberedAsTheCameraHoldsThem) {
    startCamera(kIcx285A, Family::A);
    ASSERT_NE(device_, nullptr);
    auto& period = dynamic_cast<SettingScalar&>(scalar(ids::kFramePeriod));
    EXPECT_EQ(period.GetWrittenIn(kUnitMillisecond), 250);
    program([&] { period.SetValue(300); });
    EXPECT_EQ(period.GetWrittenIn(kUnitMillisecond), 300);
}

// Family B keeps some settings in fields of the control register: they are written with the
// acquisition bits when it is switched on again, never on their own.
struct ControlFieldCase {
    const char* what;
    std::function<void(Device&)> change;
    unsigned mask;
    unsigned bits;
};

void PrintTo(const ControlFieldCase& c, std::ostream* out) {
    *out << c.what;
}

const ControlFieldCase kControlFieldCases[] = {
    {"binning X 3", [](Device& d) { setScalar(d, ids::kBinningX, 3); }, 0x3F0, 2u << 4},
    {"binning Y 2", [](Device& d) { setScalar(d, ids::kBinningY, 2); }, 0x3F0, 1u << 7},
    {"SHP delay 5", [](Device& d) { setScalar(d, ids::kShpDelay, 5); }, 0xFC0000, 5u << 18 | 0u << 21},
    {"SHD delay 3", [](Device& d) { setScalar(d, ids::kShdDelay, 3); }, 0xFC0000, 2u << 18 | 3u << 21},
    {"input mode sequential",
     [](Device& d) { setChoice(d, ids::kInputMode, ids::kModeSingleFrameSequential); }, 0xC, 1u << 2},
    {"input source software", [](Device& d) { setChoice(d, ids::kInputSource, ids::kSourceSoftware); }, 0xC00,
     3u << 10},
    {"input event low", [](Device& d) { setChoice(d, ids::kInputEvent, ids::kEventLowLevel); }, 0x1000,
     0x1000},
    {"exposure source TTL", [](Device& d) { setChoice(d, ids::kExposureSource, ids::kSourceExternalTtl); },
     0xC000, 2u << 14},
    {"exposure event low", [](Device& d) { setChoice(d, ids::kExposureEvent, ids::kEventLowLevel); }, 0x10000,
     0x10000},
    {"exposure start delay 0 after 5 мкс", [](Device& d) { setScalar(d, ids::kExposureStartDelay, 0); },
     0x20000, 0x20000},
};

class ControlFields : public RegisterProgramming, public ::testing::WithParamInterface<ControlFieldCase> {};

TEST_P(ControlFields, ReachTheCameraOnlyWhenTheAcquisitionRestarts) {
    const ControlFieldCase& c = GetParam();
    startCamera("pid=0x2121", Family::B);
    ASSERT_NE(device_, nullptr);
    // A delay other than 0 first, so that going back to 0 changes the field.
    program([&] { setScalar(*device_, ids::kExposureStartDelay, 5000); });
    const Programming programmed = program([&] { c.change(*device_); });
    for (const Write& write : programmed.rows)
        EXPECT_NE(write.address, 0xE20000u) << "written before the restart";
    EXPECT_EQ(programmed.controlAtRestart & c.mask, c.bits);
}

INSTANTIATE_TEST_SUITE_P(FamilyB, ControlFields, ::testing::ValuesIn(kControlFieldCases));

// ---- Start values -----------------------------------------------------------------------------

// Every camera of every model, as it is opened and started before any client write: the values
// its settings show must be in its registers, whatever the camera held before.
struct StartCase {
    const char* what;
    const char* cameras;
    Family family;
    unsigned window;  // R + Q
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.what;
}

const StartCase kStartCases[] = {
    {"SonyIcx285", kIcx285A, Family::A, 0xE20000},
    {"SonyIcx285FibreOptic", kIcx285AFibreOptic, Family::A, 0xE20060},
    {"SonyIcx285FibreOpticWithFastIntensifier", "pid=0x2011,type=0x2280,module=5", Family::A, 0xE20060},
    {"MT9M032FibreOptic", "pid=0x0200", Family::A, 0xE20060},
    {"MT9M032WithIntensifier", "pid=0x0200,module=1", Family::A, 0xE20060},
    {"DalsaFT50", kDalsa, Family::A, 0xE20000},
    {"SonyIcx285B", "pid=0x2125", Family::B, 0xE20000},
    {"SonyIcx285BWithIntensifier", "pid=0x212F,module=1", Family::B, 0xE20000},
    {"SonyIcx285BWithTwoPulseIntensifier", "pid=0x212F,module=3", Family::B, 0xE20000},
    {"SonyIcx285BFibreOptic", "pid=0x2011,type=0x6120", Family::B, 0xE20060},
    {"Kodak11002", "pid=0x2031,type=0x6214,channel=20", Family::B, 0xE20060},
};

// The register code of an enumeration's value, from the families' and the module's item tables.
int codeOf(unsigned settingId, int valueId) {
    struct Code {
        unsigned setting;  // 0: any setting
        int value;
        int code;
    };
    static constexpr Code kCodes[] = {
        {ids::kGain, ids::kGain0dB, 0},
        {ids::kGain, ids::kGain6dB, 1},
        {ids::kGain, ids::kGain12dB, 2},
        {ids::kGain, ids::kGain18dB, 3},
        {ids::kExposureSource, ids::kSourceExternalTtl, 2},
        {0, ids::kSourceInternalGenerator, 0},
        {0, ids::kSourceExternalTtl, 1},
        {0, ids::kSourceSoftware, 3},
        {0, ids::kEventHighLevel, 0},
        {0, ids::kEventLowLevel, 1},
        {0, ids::kModeFrame, 0},
        {0, ids::kModeLine, 1},
        {0, ids::kModeSingleFrame, 0},
        {0, ids::kModeSingleFrameSequential, 1},
        {0, ids::kModeMultiFrame, 2},
        {0, ids::kForbidden, 0},
        {0, ids::kAllowed, 1},
        {0, 0x5013, 0},  // intensifier off
        {0, 0x5014, 1},  // alignment
        {0, 0x5015, 2},  // single frame
        {0, 0x501A, 3},  // two frames
        {0, 0x5017, 0},  // start without a sync pulse
        {0, 0x5016, 1},  // with one
    };
    for (const Code& c : kCodes) {
        if ((c.setting == settingId || c.setting == 0) && c.value == valueId) return c.code;
    }
    ADD_FAILURE() << "no register code for value " << std::hex << valueId << " of " << settingId;
    return -1;
}

class StartValues : public RegisterProgramming, public ::testing::WithParamInterface<StartCase> {
protected:
    bool has(unsigned id) { return device_->FindSetting(id) != nullptr; }
    SettingScalar& hwScalar(unsigned id) { return dynamic_cast<SettingScalar&>(scalar(id)); }
    int code(unsigned id) { return codeOf(id, choice(id).GetValue()); }
    unsigned in(unsigned id, int unit) { return static_cast<unsigned>(hwScalar(id).GetValueIn(unit)); }
    // Binning factors; 1 where the model has no binning.
    unsigned binning(unsigned id) { return has(id) ? in(id, ZmCoreLib::kUnitPixel) : 1; }
    unsigned geometry(unsigned first, unsigned second) {
        return (in(first, ZmCoreLib::kUnitPixel) * binning(ids::kBinningX)) << 12 |
               (in(second, ZmCoreLib::kUnitPixel) * binning(ids::kBinningY));
    }
    // Family B time word of a time shown in мкс or мс (the units the cameras start in), counted
    // from the setting's reference; the frame period counts from one unit less.
    unsigned timeWordB(unsigned id) {
        ZmCoreLib::ISettingScalar& time = scalar(id);
        const std::int64_t span = time.GetValue() - hwScalar(id).GetReference();
        if (span == 0) return 0x200000;
        const std::int64_t count = span - (id == ids::kFramePeriod ? 1 : 0);
        if (time.GetUnit() == ZmCoreLib::kUnitMicrosecond) return 0x400000 | static_cast<unsigned>(count);
        EXPECT_EQ(time.GetUnit(), kUnitMillisecond) << std::hex << id;
        return 0x800000 | static_cast<unsigned>(count);
    }
    static std::vector<std::uint8_t> bytes(std::uint8_t first, unsigned sixteenBits) {
        return {first, static_cast<std::uint8_t>(sixteenBits >> 8), static_cast<std::uint8_t>(sixteenBits)};
    }

    // What the registers must hold for the settings as they are now: whole writes, and the
    // setting fields of the registers that also carry the acquisition bits.
    struct Field {
        unsigned address;
        unsigned mask;
        unsigned bits;
    };
    void expectFamilyA(unsigned window, std::vector<Write>& writes, std::vector<Field>& fields) {
        writes.push_back(word(window + 1, in(ids::kFramePeriod, ZmCoreLib::kUnitMicrosecond)));
        writes.push_back(word(window + 2, in(ids::kExposure, ZmCoreLib::kUnitMicrosecond)));
        writes.push_back(word(window + 4, geometry(ids::kFrameX, ids::kFrameY)));
        writes.push_back(word(window + 5, geometry(ids::kFrameWidth, ids::kFrameHeight)));
        if (has(ids::kBinningX)) {
            writes.push_back({window + 6,
                              {0, static_cast<std::uint8_t>(binning(ids::kBinningX) - 1),
                               static_cast<std::uint8_t>(binning(ids::kBinningY) - 1)}});
        }
        writes.push_back({0xE30002, {2, 2}});
        writes.push_back({0xE30008, {8, static_cast<std::uint8_t>(code(ids::kGain))}});
        if (has(ids::kLinePeriod)) {
            const auto clocks =
                static_cast<unsigned>(static_cast<double>(in(ids::kLinePeriod, kUnitNanosecond)) / 12.5 - 4);
            writes.push_back({window + 7, bytes(0, clocks)});
            writes.push_back({window + 8, bytes(static_cast<std::uint8_t>(choice(ids::kInputMode).GetValue()),
                                                in(ids::kChronogramStart, ZmCoreLib::kUnitLine))});
        }
        unsigned sync = static_cast<unsigned>(code(ids::kInputSource)) << 4 |
                        static_cast<unsigned>(code(ids::kInputEvent)) << 7;
        if (has(ids::kSyncOutputs)) sync |= static_cast<unsigned>(code(ids::kSyncOutputs)) << 8;
        fields.push_back({window + 9, 0x1F0, sync});
    }
    void expectFamilyB(unsigned window, std::vector<Write>& writes, std::vector<Field>& fields) {
        writes.push_back(word(window + 1, timeWordB(ids::kFramePeriod)));
        writes.push_back(word(window + 2, timeWordB(ids::kMultiExposurePeriod)));
        writes.push_back(word(window + 3, timeWordB(ids::kExposure)));
        writes.push_back(word(window + 4, timeWordB(ids::kIlluminationPulse)));
        writes.push_back(word(window + 5, geometry(ids::kFrameX, ids::kFrameY)));
        writes.push_back(word(window + 6, geometry(ids::kFrameWidth, ids::kFrameHeight)));
        writes.push_back({window + 8, bytes(0, in(ids::kFramesPerStart, ZmCoreLib::kUnitFrame))});
        writes.push_back(word(window + 9, timeWordB(ids::kExposureStartDelay)));
        const auto delaySteps = [&](unsigned id) {
            return static_cast<std::uint8_t>(in(id, kUnitNanosecond) /
                                             hwScalar(id).GetStepIn(kUnitNanosecond));
        };
        writes.push_back({0xE30002, {2, delaySteps(ids::kDataDelay)}});
        writes.push_back({0xE30003, {3, delaySteps(ids::kShdSamplingDelay)}});
        writes.push_back({0xE30008, {8, static_cast<std::uint8_t>(code(ids::kGain))}});
        const unsigned control =
            static_cast<unsigned>(code(ids::kInputMode)) << 2 | (binning(ids::kBinningX) - 1) << 4 |
            (binning(ids::kBinningY) - 1) << 7 | static_cast<unsigned>(code(ids::kInputSource)) << 10 |
            static_cast<unsigned>(code(ids::kInputEvent)) << 12 |
            static_cast<unsigned>(code(ids::kExposureSource)) << 14 |
            static_cast<unsigned>(code(ids::kExposureEvent)) << 16 |
            (scalar(ids::kExposureStartDelay).GetValue() == 0 ? 1u : 0u) << 17 |
            in(ids::kShpDelay, kUnitNanosecond) << 18 | in(ids::kShdDelay, kUnitNanosecond) << 21;
        // All but the acquisition bits 0 and 1 and the software start, bit 13.
        fields.push_back({window, 0xFFDFFC, control});
    }

    // The intensifier module's internal registers, as the simulated module holds them.
    void expectModule() {
        const auto steps = [&](unsigned id, int unit) {
            const SettingScalar& setting = hwScalar(id);
            return static_cast<unsigned>(setting.GetValueIn(unit) / setting.GetStepIn(unit));
        };
        EXPECT_EQ(camera().moduleRegister(1), static_cast<unsigned>(code(0x3202))) << "mode";
        EXPECT_EQ(camera().moduleRegister(3), steps(0x3203, ZmCoreLib::kUnitVolt)) << "MCP voltage";
        const bool twoPulses = has(0x3208);
        const bool fast = !twoPulses && !has(0x3207);
        if (twoPulses) {
            EXPECT_EQ(camera().moduleRegister(2), static_cast<unsigned>(code(0x3201))) << "start mode";
            EXPECT_EQ(camera().moduleRegister(4), steps(0x3208, kUnitNanosecond)) << "first delay";
            EXPECT_EQ(camera().moduleRegister(5), steps(0x3209, kUnitNanosecond)) << "first duration";
            EXPECT_EQ(camera().moduleRegister(8), steps(0x320C, kUnitNanosecond)) << "pause between pulses";
            EXPECT_EQ(camera().moduleRegister(9), steps(0x320D, kUnitNanosecond)) << "second duration";
            return;
        }
        // Type 1 counts its delay from one step, the fast type 5 its duration.
        EXPECT_EQ(camera().moduleRegister(4), steps(0x3204, kUnitNanosecond) + (fast ? 0 : 1)) << "delay";
        EXPECT_EQ(camera().moduleRegister(5), steps(0x3205, kUnitNanosecond) + (fast ? 1 : 0)) << "duration";
        if (!fast) {
            EXPECT_EQ(camera().moduleRegister(6), steps(0x3206, kUnitNanosecond)) << "pause";
            EXPECT_EQ(camera().moduleRegister(7), steps(0x3207, ZmCoreLib::kUnitPulse)) << "pulse count";
        }
    }
};

TEST_P(StartValues, AreInTheCameraAfterTheFirstStart) {
    const StartCase& c = GetParam();
    startCamera(c.cameras, c.family);
    ASSERT_NE(device_, nullptr);
    std::map<unsigned, std::vector<std::uint8_t>> held;  // the last write of every register
    for (const Write& w : writes()) held[w.address] = w.bytes;

    std::vector<Write> expected;
    std::vector<Field> fields;
    if (c.family == Family::A) {
        expectFamilyA(c.window, expected, fields);
    } else {
        expectFamilyB(c.window, expected, fields);
    }
    for (const Write& w : expected) {
        const auto found = held.find(w.address);
        if (found == held.end()) {
            ADD_FAILURE() << "never written: " << ::testing::PrintToString(w);
            continue;
        }
        EXPECT_EQ((Write{w.address, found->second}), w);
    }
    for (const Field& f : fields) {
        const auto found = held.find(f.address);
        ASSERT_NE(found, held.end()) << std::hex << f.address << " never written";
        EXPECT_EQ(valueOf({f.address, found->second}) & f.mask, f.bits) << std::hex << f.address;
    }
    if (has(0x3202)) expectModule();
}

INSTANTIATE_TEST_SUITE_P(EveryModel, StartValues, ::testing::ValuesIn(kStartCases),
                         [](const ::testing::TestParamInfo<StartCase>& param) { return param.param.what; });

// ---- Coupling of settings, on the client's thread --------------------------------------------

class Coupling : public RegisterProgramming {
protected:
    void build(const std::string& cameras) {
        attach(cameras);
        device_ = createDevice();
        ASSERT_NE(device_, nullptr);
    }
    std::int64_t nanoseconds(unsigned id) {
        return dynamic_cast<SettingScalar&>(scalar(id)).GetValueIn(kUnitNanosecond);
    }
};

TEST_F(Coupling, FamilyAKeepsTheExposureWithinTheFramePeriod) {
    build(kIcx285A);
    scalar(ids::kExposure).SetValue(400);
    EXPECT_EQ(scalar(ids::kFramePeriod).GetValue(), 400);
    // Beyond the frame period's maximum the frame period stops at it.
    scalar(ids::kExposure).SetValue(1000);
    scalar(ids::kFramePeriod).SetValue(100);
    EXPECT_EQ(scalar(ids::kExposure).GetValue(), 100);
    scalar(ids::kExposure).SetValue(1000);
    EXPECT_EQ(scalar(ids::kFramePeriod).GetValue(), 1000);
    EXPECT_EQ(scalar(ids::kFramePeriod).GetMax(kUnitMillisecond), 1000);
}

TEST_F(Coupling, FamilyATimesShownInNanosecondsSnapToWholeMicroseconds) {
    build(kIcx285A);
    ZmCoreLib::ISettingScalar& period = scalar(ids::kFramePeriod);
    period.SetUnit(kUnitNanosecond);
    period.SetValue(20000500);  // lowered
    EXPECT_EQ(period.GetValue(), 20000000);
    period.Shift(300);  // raised by less than a microsecond: one whole microsecond up
    EXPECT_EQ(period.GetValue(), 20001000);
}

TEST_F(Coupling, FamilyBExposureSnapsToTheSixtyMegahertzTimer) {
    build("pid=0x2121");
    ZmCoreLib::ISettingScalar& exposure = scalar(ids::kExposure);
    exposure.SetUnit(kUnitNanosecond);
    exposure.SetValue(1510);
    EXPECT_EQ(exposure.GetValue(), 1500);
    exposure.Shift(10);
    EXPECT_EQ(exposure.GetValue(), 1516);
}

TEST_F(Coupling, FamilyBInputModeEnablesTheMultiFrameSettings) {
    build("pid=0x2121");
    const auto enabled = [&](unsigned id) { return device_->FindSetting(id)->IsEnabled(); };
    EXPECT_FALSE(enabled(ids::kMultiExposurePeriod));
    EXPECT_FALSE(enabled(ids::kFramesPerStart));
    choice(ids::kInputMode).SetValue(ids::kModeMultiFrame);
    EXPECT_TRUE(enabled(ids::kMultiExposurePeriod));
    EXPECT_TRUE(enabled(ids::kFramesPerStart));
    choice(ids::kInputMode).SetValue(ids::kModeSingleFrame);
    EXPECT_FALSE(enabled(ids::kMultiExposurePeriod));
    EXPECT_FALSE(enabled(ids::kFramesPerStart));
}

TEST_F(Coupling, FamilyBFramePeriodCoversReadoutAndTheExposuresOfOneStart) {
    build("pid=0x2121");  // ICX285: 64 мс readout at full height
    ZmCoreLib::ISettingScalar& period = scalar(ids::kFramePeriod);
    EXPECT_EQ(period.GetMin(kUnitMillisecond), 64);
    scalar(ids::kExposure).SetValue(100);
    choice(ids::kInputMode).SetValue(ids::kModeSingleFrameSequential);
    EXPECT_EQ(period.GetMin(kUnitMillisecond), 164);
    choice(ids::kInputMode).SetValue(ids::kModeMultiFrame);
    scalar(ids::kFramesPerStart).SetValue(10);
    EXPECT_EQ(period.GetMin(kUnitMillisecond), 1064);
    EXPECT_EQ(period.GetValue(), 1064);
    // More frames per start lengthen the period of a start too.
    scalar(ids::kFramesPerStart).SetValue(20);
    EXPECT_EQ(period.GetMin(kUnitMillisecond), 2064);
    // Binning by two clocks out fewer lines.
    choice(ids::kInputMode).SetValue(ids::kModeSingleFrame);
    scalar(ids::kBinningY).SetValue(2);
    EXPECT_EQ(period.GetMin(kUnitMillisecond), 39);
    EXPECT_EQ(scalar(ids::kFrameHeight).GetValue(), 520);
    EXPECT_EQ(scalar(ids::kFrameHeight).GetMax(ZmCoreLib::kUnitPixel), 520);
}

TEST_F(Coupling, FramePeriodAndMultiExposurePeriodFollowALongerExposure) {
    build("pid=0x2121");
    scalar(ids::kExposure).SetValue(700);
    EXPECT_EQ(scalar(ids::kFramePeriod).GetValue(), 700);
    EXPECT_EQ(nanoseconds(ids::kMultiExposurePeriod), 700000000);
}

TEST_F(Coupling, DalsaInputModeDecidesBetweenExposureAndChronogramStart) {
    startCamera(kDalsa, Family::A);
    ASSERT_NE(device_, nullptr);
    const auto enabled = [&](unsigned id) { return device_->FindSetting(id)->IsEnabled(); };
    EXPECT_TRUE(enabled(ids::kExposure));
    EXPECT_FALSE(enabled(ids::kChronogramStart));
    program([&] { choice(ids::kInputMode).SetValue(ids::kModeLine); });
    EXPECT_FALSE(enabled(ids::kExposure));
    EXPECT_TRUE(enabled(ids::kChronogramStart));
}

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
