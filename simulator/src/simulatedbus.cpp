#include "simulator/simulatedbus.h"

#include <algorithm>

#include "simulator/busclock.h"

namespace simulator {

using Clock = std::chrono::steady_clock;

void SimulatedBus::Changes::signal() {
    std::lock_guard lock(mutex);
    ++count;
    signalled.notify_all();
}

SimulatedBus::SimulatedBus(const std::vector<CameraConfig>& cameras, unsigned busRateMBps)
    : clock_(std::make_shared<BusClock>(busRateMBps)) {
    const auto start = Clock::now();
    int port = 1;
    for (const CameraConfig& config : cameras) {
        cameras_.push_back(std::make_shared<SimulatedCamera>(port++, config, clock_,
                                                             [changes = changes_] { changes->signal(); }));
        if (config.unplugAfter)
            timedEvents_.push_back({start + *config.unplugAfter, cameras_.back().get(), false});
        if (config.replugAfter)
            timedEvents_.push_back({start + *config.replugAfter, cameras_.back().get(), true});
    }
    std::stable_sort(timedEvents_.begin(), timedEvents_.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.at < b.at; });
    // Taken here, so that a change right after the constructor returns is told.
    std::vector<std::optional<std::uint64_t>> attached;
    for (const auto& camera : cameras_) attached.push_back(camera->attachedGeneration());
    supervisor_ = std::jthread(
        [this, attached](std::stop_token stop) mutable { superviseAttachments(stop, std::move(attached)); });
}

SimulatedBus::~SimulatedBus() = default;

std::vector<SimulatedBus::AttachedCamera> SimulatedBus::attachedCameras() const {
    std::vector<AttachedCamera> attached;
    for (const auto& camera : cameras_) {
        if (const auto generation = camera->attachedGeneration()) attached.push_back({camera, *generation});
    }
    return attached;
}

void SimulatedBus::setAttachmentListener(AttachmentListener listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
}

void SimulatedBus::tellListener() {
    std::lock_guard lock(listenerMutex_);
    if (listener_) listener_();
}

void SimulatedBus::superviseAttachments(std::stop_token stop,
                                        std::vector<std::optional<std::uint64_t>> told) {
    auto nextEvent = timedEvents_.begin();
    while (!stop.stop_requested()) {
        std::uint64_t changesSeen = 0;
        {
            std::lock_guard lock(changes_->mutex);
            changesSeen = changes_->count;
        }
        // One timed event per round, so that a departure is told before the return even when
        // both are overdue.
        if (nextEvent != timedEvents_.end() && nextEvent->at <= Clock::now()) {
            nextEvent->replug ? nextEvent->camera->replug() : nextEvent->camera->unplug();
            ++nextEvent;
        }
        auto wakeAt = nextEvent != timedEvents_.end() ? nextEvent->at : Clock::time_point::max();
        bool changed = false;
        for (std::size_t i = 0; i < cameras_.size(); ++i) {
            // The due time first: a camera that attaches in between is then seen attached.
            if (const auto due = cameras_[i]->reattachmentDue()) wakeAt = std::min(wakeAt, *due);
            const auto generation = cameras_[i]->attachedGeneration();
            changed = changed || generation != told[i];
            told[i] = generation;
        }
        if (changed) tellListener();
        std::unique_lock lock(changes_->mutex);
        const auto changedSince = [this, changesSeen] { return changes_->count != changesSeen; };
        if (wakeAt == Clock::time_point::max()) {
            changes_->signalled.wait(lock, stop, changedSince);
        } else {
            changes_->signalled.wait_until(lock, stop, wakeAt, changedSince);
        }
    }
}

}  // namespace simulator
