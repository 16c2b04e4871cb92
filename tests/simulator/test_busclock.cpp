// The simulated wire: transfers ready back to back follow each other without a gap, a transfer
// whose bytes or request came late loses the time in between, and cameras share one wire.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <vector>

#include "simulator/busclock.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Booking {
    std::size_t bytes;
    Clock::duration ready;     // after the start of the case
    Clock::duration finished;  // expected, after the start of the case
};

struct WireCase {
    const char* name;
    unsigned rateMBps;
    std::vector<Booking> bookings;
};

class BusClockTest : public testing::TestWithParam<WireCase> {};

TEST_P(BusClockTest, BooksTheWireInOrderFromWhenEachTransferWasReady) {
    const WireCase& wire = GetParam();
    simulator::BusClock clock(wire.rateMBps);
    const Clock::time_point start = Clock::now();
    for (const Booking& booking : wire.bookings) {
        EXPECT_EQ(clock.reserve(booking.bytes, start + booking.ready) - start, booking.finished)
            << booking.bytes << " bytes ready at " << booking.ready.count();
    }
}

// 10 MB/s: 1000 bytes take 100 us on the wire.
INSTANTIATE_TEST_SUITE_P(
    Wire, BusClockTest,
    testing::Values(
        WireCase{
            "BackToBackPiecesLeaveNoGap", 10, {{1000, 0us, 100us}, {1000, 0us, 200us}, {500, 0us, 250us}}},
        WireCase{"AReadyPieceWaitsForTheWire", 10, {{1000, 0us, 100us}, {1000, 50us, 200us}}},
        WireCase{"ARequestQueuedLateLosesTheTime", 10, {{1000, 0us, 100us}, {1000, 300us, 400us}}},
        WireCase{"ABookingInThePastStillTakesItsTimeAfterTheLast",
                 10,
                 {{1000, 1000us, 1100us}, {1000, 0us, 1200us}}},
        WireCase{"NoLimitFinishesWhenReady", 0, {{1000, 0us, 0us}, {1 << 20, 70us, 70us}}}),
    [](const testing::TestParamInfo<WireCase>& param) { return param.param.name; });

}  // namespace
