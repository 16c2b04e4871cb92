// The source filter: one output pin per camera and the four control interfaces over them.
//
// The filter lock (lock()) guards every pin's state; it is taken after a frame buffer's lock when
// a frame arrives and is never held while a frame buffer's lock is taken. It is recursive, so a
// sink called under it may read the filter again.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "filterevents.h"
#include "zenmiravidsource/interfaces.h"
#include "zmsourcefltpin.h"

namespace ZenmiraVidSource {

class ZmSourceFilter final : public IDeviceSource,
                             public ISnapshotControl,
                             public IRecordingSettings,
                             public ICrosshair,
                             public ISpecifyPropertyPages {
public:
    ZmSourceFilter() = default;
    ~ZmSourceFilter();
    ZmSourceFilter(const ZmSourceFilter&) = delete;
    ZmSourceFilter& operator=(const ZmSourceFilter&) = delete;

    // The host's sink, set before the first pin is added; null drops graph events and writes
    // save errors to standard error.
    void setEventSink(FilterEventSink* sink) { sink_ = sink; }
    FilterEventSink* eventSink() const { return sink_; }
    std::recursive_mutex& lock() { return lock_; }
    unsigned pinCount();
    // The pin at `index`, or null. Pins live as long as the filter.
    ZmSourceFltPin* pin(unsigned index);
    // Tells the sink (or standard error) that a series file could not be written. Call without
    // the filter lock, on the thread that found the error.
    void reportSeriesError(unsigned pin, const SaveError& error);

    HResult QueryInterface(const Guid& iid, void** object) override;

    HResult AddDevice(ZmCoreLib::IDevice* device) override;

    HResult BreakWait() override;
    HResult Reserved4() override { return E_NOTIMPL; }
    HResult Snapshot(unsigned pin) override;

    HResult SetSeries(bool on, unsigned pin) override;
    HResult GetSeries(bool* on, unsigned pin) override;
    HResult SetFolder(const char16_t* folder, unsigned pin) override;
    HResult GetFolder(std::u16string* folder, unsigned pin) override;
    HResult Reserved7(std::int32_t value, unsigned pin) override;
    HResult Reserved8(std::int32_t value, unsigned pin) override;
    HResult SetFileFormat(const char16_t* format, unsigned pin) override;
    HResult GetFileFormat(std::u16string* format, unsigned pin) override;

    HResult SetShow(bool show) override;
    HResult GetShow(bool* show) override;
    HResult SetPosition(std::int32_t x, std::int32_t y) override;
    HResult GetPosition(std::int32_t* x, std::int32_t* y) override;
    HResult GetFrameSize(std::int32_t* width, std::int32_t* height) override;

    HResult GetPages(PageIds* pages) override;

private:
    // Runs `action` on the pin under the filter lock; E_INVALIDARG when `pin` is out of range.
    template <typename Action>
    HResult withPin(unsigned pin, Action action);
    // Runs `action` on pin 0 under the filter lock; E_FAIL without pins.
    template <typename Action>
    HResult withCrosshair(Action action);

    std::recursive_mutex lock_;
    std::vector<std::unique_ptr<ZmSourceFltPin>> pins_;  // guarded by lock_; never shrinks
    FilterEventSink* sink_ = nullptr;
};

}  // namespace ZenmiraVidSource
