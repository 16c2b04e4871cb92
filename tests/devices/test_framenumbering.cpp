// The host's count of the camera's frames: exact for what the camera thread sees, inferred from
// the camera's own timer for frames the camera made and could not keep, never ahead of the
// camera where the timing cannot tell.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "devices/framenumbering.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

using namespace std::chrono_literals;
using Clock = FrameNumbering::Clock;

constexpr auto kPeriod = 10ms;

// One thing the camera thread does, at `atMs` after the acquisition start.
struct Event {
    enum Kind { kEmptyLook, kSkipped, kTaken } kind;
    double atMs = 0;
    std::uint32_t skipped = 0;
    // For kTaken: the number the frame must get, and the frames before it only the timing shows.
    std::uint64_t number = 0;
    std::uint32_t inferred = 0;
};

Event empty(double atMs) {
    return {Event::kEmptyLook, atMs};
}
Event skipped(std::uint32_t frames) {
    return {Event::kSkipped, 0, frames};
}
Event taken(double atMs, std::uint64_t number, std::uint32_t inferred = 0) {
    return {Event::kTaken, atMs, 0, number, inferred};
}

struct NumberingCase {
    std::string name;
    bool ownTimer;
    std::vector<Event> events;
};

void PrintTo(const NumberingCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameNumberingTest : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(FrameNumberingTest, NumbersEveryFrameTheCameraMade) {
    const NumberingCase& c = GetParam();
    const Clock::time_point start{};
    const auto at = [start](double ms) {
        return start +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
    };
    FrameNumbering numbering;
    numbering.acquisitionStarted(start);
    const std::optional<Clock::duration> period =
        c.ownTimer ? std::optional<Clock::duration>(kPeriod) : std::nullopt;
    int step = 0;
    for (const Event& event : c.events) {
        SCOPED_TRACE("event " + std::to_string(step++));
        switch (event.kind) {
            case Event::kEmptyLook:
                numbering.emptyLook(at(event.atMs));
                break;
            case Event::kSkipped:
                numbering.framesLost(event.skipped);
                break;
            case Event::kTaken: {
                const FrameNumbering::Taken frame = numbering.frameTaken(at(event.atMs), period);
                EXPECT_EQ(frame.number, event.number);
                EXPECT_EQ(frame.inferred, event.inferred);
                EXPECT_EQ(numbering.lastNumber(), event.number);
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameNumberingTest,
    ::testing::Values(
        NumberingCase{"FramesOnTimeFollowOneAnother",
                      true,
                      {empty(9.5), taken(10.5, 1), empty(19.8), taken(20.2, 2), empty(29), taken(30.5, 3)}},
        // Frames made while every slot was full: the next frame seen arriving shows them.
        NumberingCase{
            "AGapOnTheOwnTimerIsInferred",
            true,
            {empty(9.5), taken(10.5, 1), empty(49.5), taken(50.5, 5, 3), empty(59.5), taken(60.5, 6)}},
        // Jitter of a few milliseconds either way stays within half a period.
        NumberingCase{"JitterIsNoGap",
                      true,
                      {empty(12), taken(13, 1), empty(17), taken(21, 2), empty(33), taken(34, 3)}},
        // Frames that waited in the slots are numbered in turn; the gap behind them shows at the
        // first frame seen arriving.
        NumberingCase{
            "FramesThatWaitedAreNumberedInTurn",
            true,
            {empty(9.5), taken(10.5, 1), taken(95, 2), taken(96, 3), empty(99.5), taken(100.5, 10, 6)}},
        // Found at a look long after the last empty one: when it came is not known.
        NumberingCase{"AWideWindowInfersNothing",
                      true,
                      {empty(9.5), taken(10.5, 1), empty(20), taken(70, 2), empty(79.5), taken(80.5, 8, 5)}},
        NumberingCase{"SkippedFramesTakeNumbers",
                      true,
                      {empty(9.5), taken(10.5, 1), skipped(2), empty(39.5), taken(40.5, 4)}},
        // Skipped frames are no gap of their own when the timing shows the same frames.
        NumberingCase{"SkippedFramesAreNotCountedTwice",
                      true,
                      {empty(9.5), taken(10.5, 1), skipped(1), empty(29.5), taken(30.5, 3)}},
        // A triggered camera: only what the camera thread sees.
        NumberingCase{
            "TriggeredFramesCountWhatIsSeen",
            false,
            {empty(9.5), taken(10.5, 1), empty(499), taken(500, 2), skipped(3), empty(900), taken(901, 6)}},
        // A first frame seen late after the start is numbered by the timer from the start.
        NumberingCase{"TheStartAnchorsTheFirstFrame", true, {empty(29.5), taken(30.5, 3, 2)}}),
    [](const ::testing::TestParamInfo<NumberingCase>& param) { return param.param.name; });

TEST(FrameNumbering, FramesDueAtAStopCountFromTheLastFrameOnTime) {
    const Clock::time_point start{};
    FrameNumbering numbering;
    numbering.acquisitionStarted(start);
    numbering.emptyLook(start + 9ms);
    ASSERT_EQ(numbering.frameTaken(start + 11ms, kPeriod).number, 1u);
    // Frames 2 to 4 were made by 45 ms; 5 is not due before 50 ms.
    EXPECT_EQ(numbering.framesDueBy(start + 45ms, kPeriod), 3u);
    numbering.framesLost(3);
    EXPECT_EQ(numbering.framesDueBy(start + 45ms, kPeriod), 0u);
    EXPECT_EQ(numbering.lastNumber(), 4u);
}

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
