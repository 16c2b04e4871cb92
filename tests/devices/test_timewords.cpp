// Register arithmetic: timer-grid quantization, time and geometry words, readout time.
#include "devices/timewords.h"

#include <gtest/gtest.h>

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {
namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;
using ZmCoreLib::kUnitSecond;

struct GridCase {
    const char* what;
    std::int64_t valueNs;
    double clockMhz;
    int lastChangeNs;
    std::int64_t expectedNs;
};

TEST(TimerGrid, PlacesValuesOnTheTimerGrid) {
    const GridCase cases[] = {
        {"1 MHz, lowered to 20 000 500", 20000500, 1, -500, 20000000},
        {"1 MHz, raised by 300 from 20 000 200", 20000500, 1, 300, 20001000},
        {"1 MHz, raised by more than a tick rounds down", 20001500, 1, 1500, 20001000},
        {"1 MHz, on the grid stays", 20001000, 1, 300, 20001000},
        {"60 MHz, lowered to 1 510", 1510, 60, -6, 1500},
        {"60 MHz, raised by 10 from 1 500", 1510, 60, 10, 1516},
        {"60 MHz, the raised value is a fixed point", 1516, 60, 6, 1516},
        {"60 MHz, no change counts as a decrease", 1510, 60, 0, 1500},
        {"60 MHz, raised by a whole tick rounds down", 1560, 60, 60, 1550},
        {"60 MHz, on the grid stays", 1500, 60, -1, 1500},
        {"30 MHz, lowered", 1010, 30, -1, 1000},
        {"30 MHz, raised by less than a tick", 1010, 30, 10, 1033},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quantizeToTimerGrid(c.valueNs, c.clockMhz, c.lastChangeNs), c.expectedNs) << c.what;
    }
}

TEST(RegisterWords, AreSentMostSignificantByteFirst) {
    EXPECT_EQ(registerBytes(0x00ABCD), (RegisterBytes{0x00, 0xAB, 0xCD}));
    EXPECT_EQ(registerBytes(0x12345678), (RegisterBytes{0x34, 0x56, 0x78}));
}

TEST(RegisterWords, TimeWordACountsWholeMicroseconds) {
    EXPECT_EQ(registerBytes(timeWordA(20000000)), (RegisterBytes{0x00, 0x4E, 0x20}));
    EXPECT_EQ(registerBytes(timeWordA(1000000000)), (RegisterBytes{0x0F, 0x42, 0x40}));
    EXPECT_EQ(timeWordA(25999), 25u);
    EXPECT_EQ(timeWordA(999), 0u);
}

struct TimeWordBCase {
    const char* what;
    std::int64_t value;
    std::int64_t reference;
    int unit;
    double clockMhz;
    bool framePeriod;
    unsigned expected;
};

TEST(RegisterWords, TimeWordBCarriesItsUnit) {
    const TimeWordBCase cases[] = {
        {"frame period 500 мс counts from one less", 500, 0, kUnitMillisecond, 60, true, 0x8001F3},
        {"exposure 100 мс", 100, 0, kUnitMillisecond, 60, false, 0x800064},
        {"exposure at the maximum 1 000 000 мс", 1000000, 0, kUnitMillisecond, 60, false, 0x8F4240},
        {"multi-exposure period 100 мкс", 100, 0, kUnitMicrosecond, 60, false, 0x400064},
        {"frame period 500 000 мкс", 500000, 0, kUnitMicrosecond, 60, true, 0x47A11F},
        {"frame period in seconds counts from the value", 5, 0, kUnitSecond, 60, true, 0xC00005},
        {"exposure 1 510 нс over a 1 мкс reference, 60 MHz ticks", 1510, 1000, kUnitNanosecond, 60, false,
         30},
        {"30 MHz ticks", 2000, 0, kUnitNanosecond, 30, false, 60},
        {"value equal to the reference", 0, 0, kUnitNanosecond, 60, false, 0x200000},
        // Spans too long for their field go out in the next coarser unit, never cut short.
        {"100 мс shown in нс is too many ticks", 100000000, 0, kUnitNanosecond, 60, false, 0x4186A0},
        {"frame period 2 000 000 мкс is too many мкс", 2000000, 0, kUnitMicrosecond, 60, true, 0x8007CF},
        {"longest tick count", 34952532, 0, kUnitNanosecond, 60, false, 0x1FFFFF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timeWordB(c.value, c.reference, c.unit, c.clockMhz, c.framePeriod), c.expected) << c.what;
    }
}

TEST(RegisterWords, GeometryWordScalesToSensorPixels) {
    EXPECT_EQ(geometryWord(0, 0, 1, 1), 0u);
    EXPECT_EQ(registerBytes(geometryWord(1392, 1040, 1, 1)), (RegisterBytes{0x57, 0x04, 0x10}));
    EXPECT_EQ(registerBytes(geometryWord(4036, 2692, 1, 1)), (RegisterBytes{0xFC, 0x4A, 0x84}));
    EXPECT_EQ(geometryWord(10, 20, 2, 4), (20u << 12) | 80u);
}

TEST(RegisterWords, LinePeriodWordCountsPixelClocks) {
    EXPECT_EQ(linePeriodWord(1000), 76u);
    EXPECT_EQ(linePeriodWord(100), 4u);
    // 1000 мкс would need 79996 clocks; the 16-bit register keeps its longest period instead.
    EXPECT_EQ(linePeriodWord(1000000), 0xFFFFu);
    EXPECT_EQ(saturateToSixteenBits(1000000), 0xFFFF);
    EXPECT_EQ(saturateToSixteenBits(10), 10);
}

TEST(Readout, TimeFollowsSensorAndBinning) {
    const ReadoutTiming icx285{60, 30, 1392, 1040, 1454, 1068, 6600, 11300};
    const ReadoutTiming kodak{60, 30, 4036, 2692, 4080, 2721, 150000, 22100};
    EXPECT_EQ(linePeriodNs(1454, 30), 48466);
    EXPECT_EQ(linePeriodNs(1454, 15), 96933);
    EXPECT_EQ(readoutTimeMs(icx285, 48466, 1040, 1), 64);
    // Binning by two halves the height; only 548 lines are clocked out.
    EXPECT_EQ(readoutTimeMs(icx285, 48466, 520, 2), 39);
    EXPECT_EQ(readoutTimeMs(kodak, linePeriodNs(4080, 30), 2692, 1), 431);
    EXPECT_EQ(readoutTimeMs(kodak, linePeriodNs(4080, 15), 2692, 1), 801);
}

}  // namespace
}  // namespace ZmCoreLib_v4
