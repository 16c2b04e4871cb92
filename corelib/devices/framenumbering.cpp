#include "devices/framenumbering.h"

#include <algorithm>

namespace ZmCoreLib_v4 {

namespace {

// Whole periods from `from` to `to`, rounded to the nearest; 0 when `to` is not later.
std::uint64_t periodsBetween(FrameNumbering::Clock::time_point from, FrameNumbering::Clock::time_point to,
                             FrameNumbering::Clock::duration period, bool roundToNearest) {
    if (to <= from || period <= FrameNumbering::Clock::duration::zero()) return 0;
    const auto elapsed = to - from + (roundToNearest ? period / 2 : FrameNumbering::Clock::duration::zero());
    return static_cast<std::uint64_t>(elapsed / period);
}

}  // namespace

void FrameNumbering::acquisitionStarted(Clock::time_point at) {
    anchor_ = Anchor{last_, at};
    emptyLookAt_.reset();
}

void FrameNumbering::framesLost(std::uint32_t frames) {
    last_ += frames;
}

FrameNumbering::Taken FrameNumbering::frameTaken(Clock::time_point foundAt,
                                                 std::optional<Clock::duration> period) {
    Taken taken{last_ + 1, 0, false};
    // The frame came after the last empty look and before the look that found it.
    if (period && emptyLookAt_ && foundAt - *emptyLookAt_ <= *period / 2) {
        const Clock::time_point madeAt = *emptyLookAt_ + (foundAt - *emptyLookAt_) / 2;
        if (anchor_) {
            const std::uint64_t due =
                anchor_->number + periodsBetween(anchor_->madeAt, madeAt, *period, true);
            if (due > taken.number) taken.inferred = static_cast<std::uint32_t>(due - taken.number);
        }
        taken.number += taken.inferred;
        taken.timed = true;
        anchor_ = Anchor{taken.number, madeAt};
    }
    last_ = taken.number;
    emptyLookAt_.reset();
    return taken;
}

std::uint32_t FrameNumbering::framesDueBy(Clock::time_point at, Clock::duration period) const {
    if (!anchor_) return 0;
    const std::uint64_t due = anchor_->number + periodsBetween(anchor_->madeAt, at, period, false);
    return due > last_ ? static_cast<std::uint32_t>(due - last_) : 0;
}

}  // namespace ZmCoreLib_v4
