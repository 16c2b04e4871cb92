// Worker threads: start held or free, hold and release, bounded stops, restart, destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "core/worker.h"
#include "platform/event.h"

namespace {

using platform::Event;
using platform::ResetMode;
using platform::WaitResult;
using ZmCoreLib::Worker;

// Long enough never to expire on a loaded machine; only reached when a test fails.
constexpr unsigned kGenerousMs = 5000;
// How long a thing that must not happen is given to happen anyway.
constexpr unsigned kShortMs = 50;

// What a worker's body did, kept outside the worker so that it can be read after the worker is gone.
struct Probe {
    std::atomic<int> runCalls{0};
    std::atomic<bool> bodyReturned{false};
    Event entered{ResetMode::Manual};         // Run() was called
    Event iteration{ResetMode::Auto};         // one loop iteration began
    Event stepGate{ResetMode::Manual, true};  // an iteration ends only while this is signalled
};

// A loop that honours Pause(), like the repacking loop of a camera.
int probeLoop(Worker& worker, Probe& probe) {
    ++probe.runCalls;
    probe.entered.set();
    while (!worker.IsStopRequested()) {
        probe.iteration.set();
        probe.stepGate.wait(kGenerousMs);
        worker.WaitRunOrStop();
    }
    probe.bodyReturned = true;
    return 0;
}

// A worker stopped by its owner before it goes, as the contract asks.
class ProbeWorker : public Worker {
public:
    explicit ProbeWorker(Probe& probe) : Worker("ProbeThread"), probe_(probe) {}
    ~ProbeWorker() override { Stop(kGenerousMs); }

protected:
    int Run() override { return probeLoop(*this, probe_); }

private:
    Probe& probe_;
};

// A worker left to the base destructor to stop. Its body uses no member of its own class (that
// part is destroyed first), only the worker base and a probe outside the object.
class UnstoppedWorker : public Worker {
public:
    explicit UnstoppedWorker(Probe& probe) : Worker("ProbeThread") { probe_ = &probe; }

protected:
    int Run() override { return probeLoop(*this, *probe_); }

private:
    static inline Probe* probe_ = nullptr;
};

class WorkerTest : public testing::Test {
protected:
    // Lets an iteration a test held up end, so that the worker's destructor can stop it.
    void TearDown() override { probe_.stepGate.set(); }

    Probe probe_;
    ProbeWorker worker_{probe_};
};

TEST_F(WorkerTest, StartedHeldWaitsForResumeAndASecondStartChangesNothing) {
    ASSERT_TRUE(worker_.Start(true));
    EXPECT_TRUE(worker_.IsRunning());
    EXPECT_FALSE(worker_.Start(false)) << "a running worker is not started again";
    EXPECT_EQ(probe_.entered.wait(kShortMs), WaitResult::TimedOut) << "the second Start released the hold";

    worker_.Resume();
    EXPECT_EQ(probe_.entered.wait(kGenerousMs), WaitResult::Signalled);
    EXPECT_TRUE(worker_.Stop(kGenerousMs));
    EXPECT_EQ(probe_.runCalls, 1);
}

TEST_F(WorkerTest, StopOnAHeldWorkerRunsTheBodyWhichEndsAtOnce) {
    ASSERT_TRUE(worker_.Start(true));
    EXPECT_TRUE(worker_.Stop(kGenerousMs));
    EXPECT_EQ(probe_.runCalls, 1);
    EXPECT_TRUE(probe_.bodyReturned);
    EXPECT_EQ(probe_.iteration.wait(0), WaitResult::TimedOut) << "no iteration after the stop request";
    EXPECT_FALSE(worker_.IsRunning());
}

TEST_F(WorkerTest, StopOnAnIdleWorkerReturnsFalse) {
    EXPECT_FALSE(worker_.Stop(0));
    ASSERT_TRUE(worker_.Start(false));
    ASSERT_TRUE(worker_.Stop(kGenerousMs));
    EXPECT_FALSE(worker_.Stop(0)) << "stopped twice";
}

TEST_F(WorkerTest, StopTimesOutDuringALongIterationAndSucceedsLater) {
    probe_.stepGate.reset();
    ASSERT_TRUE(worker_.Start(false));
    ASSERT_EQ(probe_.iteration.wait(kGenerousMs), WaitResult::Signalled);

    EXPECT_FALSE(worker_.Stop(kShortMs));
    EXPECT_TRUE(worker_.IsRunning()) << "a timed-out stop leaves the worker running";
    EXPECT_FALSE(probe_.bodyReturned);

    probe_.stepGate.set();
    EXPECT_TRUE(worker_.Stop(kGenerousMs));
    EXPECT_FALSE(worker_.IsRunning());
    EXPECT_TRUE(probe_.bodyReturned);
}

TEST_F(WorkerTest, RestartsAfterAStop) {
    for (int round = 1; round <= 3; ++round) {
        probe_.iteration.reset();
        ASSERT_TRUE(worker_.Start(false)) << "round " << round;
        EXPECT_EQ(probe_.iteration.wait(kGenerousMs), WaitResult::Signalled) << "round " << round;
        ASSERT_TRUE(worker_.Stop(kGenerousMs)) << "round " << round;
        EXPECT_EQ(probe_.runCalls, round);
    }
}

TEST_F(WorkerTest, PauseHoldsTheLoopUntilResume) {
    // Catch the thread inside an iteration, so that it is known where the hold will stop it.
    probe_.stepGate.reset();
    ASSERT_TRUE(worker_.Start(false));
    ASSERT_EQ(probe_.iteration.wait(kGenerousMs), WaitResult::Signalled);
    worker_.Pause();
    probe_.stepGate.set();
    EXPECT_EQ(probe_.iteration.wait(kShortMs), WaitResult::TimedOut) << "the loop goes on while paused";

    worker_.Resume();
    EXPECT_EQ(probe_.iteration.wait(kGenerousMs), WaitResult::Signalled);
    worker_.Pause();
    EXPECT_TRUE(worker_.Stop(kGenerousMs)) << "a stop request releases a held loop";
}

TEST_F(WorkerTest, BodyThatReturnsByItselfIsStoppedAtOnce) {
    class OneShot : public Worker {
    public:
        explicit OneShot(Event& done) : Worker("OneShot"), done_(done) {}

    protected:
        int Run() override {
            done_.set();
            return 7;
        }

    private:
        Event& done_;
    };
    Event done(ResetMode::Manual);
    OneShot worker(done);
    ASSERT_TRUE(worker.Start(false));
    ASSERT_EQ(done.wait(kGenerousMs), WaitResult::Signalled);
    EXPECT_TRUE(worker.IsRunning()) << "running until a Stop has collected the thread";
    EXPECT_TRUE(worker.Stop(kGenerousMs));
    EXPECT_FALSE(worker.IsRunning());
}

// Destroying a worker without Stop: the destructor stops the thread, and its memory is not freed
// while the thread can still touch it.
TEST(WorkerDestructionTest, DestroyingARunningWorkerStopsItsThread) {
    Probe probe;
    auto worker = std::make_unique<UnstoppedWorker>(probe);
    ASSERT_TRUE(worker->Start(false));
    ASSERT_EQ(probe.iteration.wait(kGenerousMs), WaitResult::Signalled);
    worker.reset();
    EXPECT_TRUE(probe.bodyReturned);
}

TEST(WorkerDestructionTest, DestroyingAHeldWorkerNeverEntersTheBody) {
    Probe probe;
    auto worker = std::make_unique<UnstoppedWorker>(probe);
    ASSERT_TRUE(worker->Start(true));
    worker.reset();  // the body's class is gone by now: calling it would be fatal
    EXPECT_EQ(probe.runCalls, 0);
}

TEST(WorkerDestructionTest, DestructorOutwaitsAnIterationLongerThanItsBoundedWait) {
    Probe probe;
    probe.stepGate.reset();
    auto worker = std::make_unique<UnstoppedWorker>(probe);
    ASSERT_TRUE(worker->Start(false));
    ASSERT_EQ(probe.iteration.wait(kGenerousMs), WaitResult::Signalled);
    // Ends the iteration well after the destructor's 3000 ms wait has expired.
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
        probe.stepGate.set();
    });
    testing::internal::CaptureStderr();
    worker.reset();
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(probe.bodyReturned) << "the destructor returned while the thread still ran";
    EXPECT_NE(diagnostics.find("ProbeThread"), std::string::npos) << diagnostics;
    opener.join();
}

}  // namespace
