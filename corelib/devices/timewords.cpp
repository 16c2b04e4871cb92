#include "devices/timewords.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr std::int64_t kNsPerUs = 1000;
constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr unsigned kWordMask = 0xFFFFFF;

// Family B time words: the top two bits name the unit of the count below them; 0x200000 says
// the time equals its reference. Timer ticks must therefore stay below 0x200000.
constexpr unsigned kEqualsReference = 0x200000;
constexpr std::int64_t kCountMask = 0xFFFFF;

struct CountEncoding {
    unsigned unitBits;
    std::int64_t unitNs;
    bool framePeriodCountsFromOneLess;
};
constexpr CountEncoding kCountEncodings[] = {
    {0x400000, kNsPerUs, true},
    {0x800000, kNsPerMs, true},
    {0xC00000, kNsPerSecond, false},
};

constexpr unsigned kCoordinateShift = 12;
constexpr unsigned kCoordinateMask = 0xFFF;

constexpr double kPixelClockPeriodNs = 12.5;
constexpr double kLinePeriodOffsetClocks = 4;
constexpr std::int64_t kSixteenBitMax = 0xFFFF;

std::int64_t unitNs(int unitId) {
    switch (unitId) {
        case ZmCoreLib::kUnitMicrosecond:
            return kNsPerUs;
        case ZmCoreLib::kUnitMillisecond:
            return kNsPerMs;
        case ZmCoreLib::kUnitSecond:
            return kNsPerSecond;
        default:
            return 1;  // нс, the only other unit a time setting offers
    }
}

}  // namespace

RegisterBytes registerBytes(unsigned word) {
    return {static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word)};
}

std::int64_t quantizeToTimerGrid(std::int64_t valueNs, double clockMhz, int lastChangeNs) {
    const std::int64_t belowUs = valueNs % kNsPerUs;
    const auto ticks = static_cast<std::int64_t>(std::floor(belowUs * clockMhz)) / kNsPerUs;
    if (ticks * kNsPerUs / clockMhz == belowUs) return valueNs;
    const std::int64_t wholeUs = valueNs - belowUs;
    if (lastChangeNs < 1) {
        return wholeUs + static_cast<std::int64_t>((ticks * kNsPerUs + clockMhz - 1) / clockMhz);
    }
    const bool shorterThanTick = static_cast<std::int64_t>(lastChangeNs * clockMhz) / kNsPerUs == 0;
    const std::int64_t upTicks = ticks + (shorterThanTick ? 1 : 0);
    return wholeUs + static_cast<std::int64_t>(upTicks * kNsPerUs / clockMhz);
}

unsigned timeWordA(std::int64_t valueNs) {
    return static_cast<unsigned>(valueNs / kNsPerUs) & kWordMask;
}

unsigned timeWordB(std::int64_t value, std::int64_t reference, int unitId, double clockMhz,
                   bool isFramePeriod) {
    if (value == reference) return kEqualsReference;
    const std::int64_t displayUnitNs = unitNs(unitId);
    const std::int64_t spanNs = std::max<std::int64_t>(0, (value - reference) * displayUnitNs);
    if (displayUnitNs == 1) {
        const auto ticks = static_cast<std::int64_t>(spanNs * clockMhz / kNsPerUs);
        if (ticks < kEqualsReference) return static_cast<unsigned>(ticks);
    }
    // A span too long for its unit's field goes out in the next coarser unit instead of being
    // cut to the field: a cut count would give the camera a different time.
    auto countIn = [&](const CountEncoding& encoding) {
        const std::int64_t count = spanNs / encoding.unitNs;
        return isFramePeriod && encoding.framePeriodCountsFromOneLess ? std::max<std::int64_t>(0, count - 1)
                                                                      : count;
    };
    std::size_t chosen = 0;
    while (kCountEncodings[chosen].unitNs < displayUnitNs) ++chosen;
    while (chosen + 1 < std::size(kCountEncodings) && countIn(kCountEncodings[chosen]) > kCountMask) ++chosen;
    const CountEncoding& encoding = kCountEncodings[chosen];
    return encoding.unitBits | static_cast<unsigned>(std::min(countIn(encoding), kCountMask));
}

unsigned geometryWord(int first, int second, int binningX, int binningY) {
    const auto high = static_cast<unsigned>(first * binningX);
    const auto low = static_cast<unsigned>(second * binningY);
    return ((high << kCoordinateShift) | (low & kCoordinateMask)) & kWordMask;
}

unsigned linePeriodWord(std::int64_t linePeriodNs) {
    const auto clocks =
        static_cast<std::int64_t>(linePeriodNs / kPixelClockPeriodNs - kLinePeriodOffsetClocks);
    return static_cast<unsigned>(saturateToSixteenBits(clocks));
}

std::int64_t saturateToSixteenBits(std::int64_t value) {
    return std::clamp<std::int64_t>(value, 0, kSixteenBitMax);
}

int linePeriodNs(int pixelsPerLine, double pixelClockMhz) {
    if (pixelClockMhz <= 0) return 0;  // a sensor without timing constants
    return static_cast<int>(pixelsPerLine * static_cast<double>(kNsPerUs) / pixelClockMhz);
}

int readoutTimeMs(const ReadoutTiming& timing, int linePeriodNs, int heightPx, int binningY) {
    const std::int64_t linesClockedOut = timing.linesPerFrame - std::int64_t{heightPx} * (binningY - 1);
    const std::int64_t totalNs = timing.startTimeNs +
                                 std::int64_t{timing.linesPerFrame} * timing.lineShiftTimeNs +
                                 linesClockedOut * linePeriodNs;
    return static_cast<int>((totalNs + kNsPerMs - 1) / kNsPerMs);
}

}  // namespace ZmCoreLib_v4
