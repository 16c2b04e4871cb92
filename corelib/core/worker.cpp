#include "core/worker.h"

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <new>
#include <system_error>
#include <utility>

#include "platform/error.h"
#include "zmcorelib/exceptions.h"

namespace ZmCoreLib {

namespace {

using platform::Event;
using platform::ResetMode;
using platform::WaitResult;

// Every Win32Exception of this file names it and one of these lines.
constexpr char kSourceFile[] = "Worker";
constexpr int kLineCreateStop = 18;
constexpr int kLineCreateRun = 22;
constexpr int kLineCreateFinished = 28;
constexpr int kLineCreateExited = 35;
constexpr int kLineStartClearStop = 66;
constexpr int kLineStartClearFinished = 69;
constexpr int kLineStartGate = 79;
constexpr int kLineStopRequest = 93;
constexpr int kLineStopWait = 101;
constexpr int kLinePause = 119;
constexpr int kLineResume = 127;
constexpr int kLinePollStop = 155;
constexpr int kLineWaitRunOrStop = 168;
constexpr int kLinewaitStopOr = 175;

constexpr std::uint32_t kDestructorStopTimeoutMs = 3000;

// Runs one event operation and reports its failure as the worker's exception for `line`. The
// events fail only through their own locks (std::system_error), creation only for lack of memory,
// and a wait by returning Failed with the thread's last error set.
template <typename Operation>
auto checked(int line, Operation&& operation) {
    try {
        return operation();
    } catch (const std::system_error& error) {
        platform::setLastError(error.code().value());
    } catch (const std::bad_alloc&) {
        platform::setLastError(ENOMEM);
    }
    throw Win32Exception(kSourceFile, line);
}

template <typename Wait>
WaitResult checkedWait(int line, Wait&& wait) {
    const WaitResult result = checked(line, std::forward<Wait>(wait));
    if (result == WaitResult::Failed) throw Win32Exception(kSourceFile, line);
    return result;
}

std::unique_ptr<Event> makeEvent(int line, ResetMode mode) {
    return checked(line, [mode] { return std::make_unique<Event>(mode); });
}

}  // namespace

Worker::Worker(std::string name)
    : name_(std::move(name)),
      stop_(makeEvent(kLineCreateStop, ResetMode::Manual)),
      run_(makeEvent(kLineCreateRun, ResetMode::Manual)),
      finished_(makeEvent(kLineCreateFinished, ResetMode::Manual)),
      exited_(makeEvent(kLineCreateExited, ResetMode::Auto)) {}

Worker::~Worker() {
    if (!IsRunning()) return;
    destroying_ = true;
    stop_->set();
    if (finished_->wait(kDestructorStopTimeoutMs) != WaitResult::Signalled)
        std::cerr << "Worker " << name_ << ": the thread did not end within " << kDestructorStopTimeoutMs
                  << " ms of the stop request; waiting for it to end.\n";
    thread_.join();
}

bool Worker::Start(bool startHeld) {
    if (IsRunning()) return false;
    checked(kLineStartClearStop, [this] { stop_->reset(); });
    checked(kLineStartClearFinished, [this] { finished_->reset(); });
    checked(kLineStartGate, [this, startHeld] { startHeld ? run_->reset() : run_->set(); });
    try {
        thread_ = std::thread(&Worker::threadMain, this);
    } catch (const std::system_error& error) {
        platform::setLastError(error.code().value());
        return false;
    }
    return true;
}

void Worker::threadMain() {
    WaitRunOrStop();
    if (!destroying_) Run();
    finished_->set();
    exited_->set();  // the last touch of this object by the thread
}

bool Worker::Stop(unsigned timeoutMs) {
    if (!IsRunning()) return false;
    checked(kLineStopRequest, [this] { stop_->set(); });
    if (checkedWait(kLineStopWait, [&] { return exited_->wait(timeoutMs); }) == WaitResult::TimedOut)
        return false;
    thread_.join();  // returns at once: the thread has nothing left to do
    return true;
}

void Worker::Pause() {
    checked(kLinePause, [this] { run_->reset(); });
}

void Worker::Resume() {
    checked(kLineResume, [this] { run_->set(); });
}

bool Worker::IsStopRequested() {
    return checkedWait(kLinePollStop, [this] { return stop_->wait(0); }) == WaitResult::Signalled;
}

void Worker::WaitRunOrStop() {
    checkedWait(kLineWaitRunOrStop,
                [this] { return platform::waitForEither(*run_, *stop_, platform::kWaitForever); });
}

bool Worker::waitStopOr(platform::Event& wake, std::uint32_t timeoutMs) {
    return checkedWait(kLinewaitStopOr, [&] { return platform::waitForEither(*stop_, wake, timeoutMs); }) ==
           WaitResult::Signalled;
}

}  // namespace ZmCoreLib
