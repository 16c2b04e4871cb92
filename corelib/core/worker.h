// A background loop on a thread of its own that its owner starts, holds, releases and stops.
//
// Threads: the owner (one thread) calls Start, Stop, Pause, Resume, IsRunning and the destructor;
// the worker's own thread calls IsStopRequested and WaitRunOrStop from Run(). Everything is
// coordinated through four events; the worker takes no lock. A failing event operation throws
// Win32Exception naming the file "Worker" and a fixed line per operation, so that messages stay
// comparable between builds.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/event.h"

namespace ZmCoreLib {

class Worker {
public:
    // `name` says which loop this is ("CameraThread", "RepackThread") in diagnostics.
    explicit Worker(std::string name);
    // If the thread still runs: requests a stop and waits up to 3000 ms for it. When the body has
    // not ended by then, keeps waiting until it does (and says so on standard error), because the
    // thread still uses this object: its steps wait only for bounded times, so the wait ends.
    // The base destructor runs after the concrete worker's: a Run() that uses members of the
    // concrete class must be stopped (Stop) before those members go.
    virtual ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the thread unless one is running (then false and nothing changes). A worker started
    // held enters Run() only after Resume() or a stop request. False when no thread could be made.
    bool Start(bool startHeld);
    // Requests a stop and waits up to timeoutMs for the thread to end. True once it has ended;
    // false when idle or when the time ran out (the worker then stays running and a later Stop
    // waits again). One caller at a time: the end of the thread wakes a single Stop.
    bool Stop(unsigned timeoutMs);
    bool IsRunning() const { return thread_.joinable(); }
    // Holds the thread at its next WaitRunOrStop(); Resume() lets it go on.
    void Pause();
    void Resume();

    // For Run(), on the worker's thread: polls the stop request without waiting.
    bool IsStopRequested();
    // For Run(), on the worker's thread: blocks while the worker is held and no stop is requested.
    void WaitRunOrStop();
    // For Run(), on the worker's thread: blocks until a stop is requested, `wake` is signalled
    // (and consumed, when it is auto-reset) or timeoutMs have passed; false when the time ran out.
    bool waitStopOr(platform::Event& wake, std::uint32_t timeoutMs);

protected:
    // The thread body. Loops until IsStopRequested(); a body that honours Pause() calls
    // WaitRunOrStop() once per iteration. The result is the thread's exit code, which nobody reads.
    virtual int Run() = 0;

private:
    void threadMain();

    const std::string name_;
    std::unique_ptr<platform::Event> stop_;      // manual: a stop has been requested
    std::unique_ptr<platform::Event> run_;       // manual: signalled = may run, reset = held
    std::unique_ptr<platform::Event> finished_;  // manual: the body has returned
    std::unique_ptr<platform::Event> exited_;    // auto: the thread's end, consumed by one Stop
    // Set by the destructor before its stop request: a thread still held at its start gate must
    // not call Run(), whose concrete class is already gone.
    std::atomic<bool> destroying_{false};
    std::thread thread_;  // joinable while running
};

}  // namespace ZmCoreLib
