// The camera's frame numbers, counted on the host: the camera has no frame counter to read, so
// every frame it makes takes the next number when the camera thread takes it, skips it, finds it
// left at a stop, or, on the camera's own timer, infers from time that it was made and lost.
//
// What the numbers mean and how exact they are is part of the public contract
// (zmcorelib/deviceextensions.h). Camera thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace ZmCoreLib_v4 {

class FrameNumbering {
public:
    using Clock = std::chrono::steady_clock;

    struct Taken {
        std::uint64_t number;
        // Frames only the timing shows, made and lost just before this one; not counted before.
        std::uint32_t inferred;
        // The frame's arrival was known to within half a frame period: it anchors the timing.
        bool timed;
    };

    // The acquisition was switched on at `at`: on the camera's own timer its first frame is due
    // one period later.
    void acquisitionStarted(Clock::time_point at);
    // A look at the slot the next frame comes in, begun at `at`, found it empty.
    void emptyLook(Clock::time_point at) { emptyLookAt_ = at; }
    // `frames` frames made and lost without being taken (skipped for a newer one, left in the
    // camera at a stop) take the next numbers.
    void framesLost(std::uint32_t frames);
    // The camera thread takes the next frame, found ready by the look begun at `foundAt`.
    // `period`: the camera's own frame interval, none when it follows a trigger.
    Taken frameTaken(Clock::time_point foundAt, std::optional<Clock::duration> period);
    // Frames the camera's timer made by `at` that have no number yet (0 without timing).
    std::uint32_t framesDueBy(Clock::time_point at, Clock::duration period) const;

    std::uint64_t lastNumber() const { return last_; }

private:
    struct Anchor {
        std::uint64_t number;
        Clock::time_point madeAt;  // the frame's estimated arrival
    };

    std::uint64_t last_ = 0;
    std::optional<Clock::time_point> emptyLookAt_;  // since the last frame taken
    std::optional<Anchor> anchor_;
};

}  // namespace ZmCoreLib_v4
