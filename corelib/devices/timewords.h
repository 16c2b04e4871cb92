// Register arithmetic shared by both camera families: the timer grid that time settings snap to,
// the words that carry times and geometry to the camera, and the sensor readout time that bounds
// a family B frame period. Pure functions; no camera is touched here.
#pragma once

#include <array>
#include <cstdint>

namespace ZmCoreLib_v4 {

// A 24-bit register value as the camera takes it: three bytes, most significant first.
using RegisterBytes = std::array<std::uint8_t, 3>;
RegisterBytes registerBytes(unsigned word);

// Places a value shown in нс on the grid of a timer running at `clockMhz`, looking only at the
// part below one microsecond. A value on the grid is returned unchanged. Otherwise a decrease
// (lastChangeNs < 1) rounds down to the grid, and an increase rounds up, moving at least one
// tick when the increase itself was shorter than a tick, so that a user's small step is never
// swallowed by the grid.
std::int64_t quantizeToTimerGrid(std::int64_t valueNs, double clockMhz, int lastChangeNs);

// Family A timing registers count whole microseconds (a 1 MHz timer).
unsigned timeWordA(std::int64_t valueNs);

// Family B timing registers carry their own unit in the top two bits: ticks of the timer
// (value shown in нс), or a count of мкс, мс or seconds. `value` and `reference` are in the
// setting's display unit `unitId`; the word carries their difference, and 0x200000 when they are
// equal. The frame period counts from one unit less in the мкс and мс encodings. A difference too
// long for the field of its unit is sent in the next coarser unit.
unsigned timeWordB(std::int64_t value, std::int64_t reference, int unitId, double clockMhz,
                   bool isFramePeriod);

// Position or size of the frame on the sensor: the first coordinate in bits 23-12, the second in
// bits 11-0, each scaled from binned to sensor pixels.
unsigned geometryWord(int first, int second, int binningX, int binningY);

// Family A line period register: the period counted in 12.5 ns pixel clocks, less four, held in
// 16 bits; a longer period is sent as the longest the register holds.
unsigned linePeriodWord(std::int64_t linePeriodNs);

// Counts that go to a 16-bit register field stop at its largest value instead of wrapping.
std::int64_t saturateToSixteenBits(std::int64_t value);

// Readout constants of a family B sensor.
struct ReadoutTiming {
    double timerClockMhz = 1;
    double pixelClockMhz = 0;
    int widthPx = 0;
    int heightPx = 0;
    int pixelsPerLine = 0;
    int linesPerFrame = 0;
    int startTimeNs = 0;
    int lineShiftTimeNs = 0;
};

// Time to clock one line of pixels out of the sensor, whole nanoseconds.
int linePeriodNs(int pixelsPerLine, double pixelClockMhz);

// Time to read one frame out of the sensor, rounded up to whole milliseconds: a start time, every
// line shifted, and every line not skipped by vertical binning clocked out.
int readoutTimeMs(const ReadoutTiming& timing, int linePeriodNs, int heightPx, int binningY);

}  // namespace ZmCoreLib_v4
