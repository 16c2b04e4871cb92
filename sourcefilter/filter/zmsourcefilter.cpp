#include "zmsourcefilter.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>

#include "imagecodec.h"
#include "platform/messagebox.h"

namespace ZenmiraVidSource {

ZmSourceFilter::~ZmSourceFilter() {
    // Pins leave their frame buffers one by one, outside the filter lock.
    std::vector<std::unique_ptr<ZmSourceFltPin>> pins;
    {
        std::lock_guard guard(lock_);
        pins.swap(pins_);
    }
}

unsigned ZmSourceFilter::pinCount() {
    std::lock_guard guard(lock_);
    return static_cast<unsigned>(pins_.size());
}

ZmSourceFltPin* ZmSourceFilter::pin(unsigned index) {
    std::lock_guard guard(lock_);
    return index < pins_.size() ? pins_[index].get() : nullptr;
}

void ZmSourceFilter::reportSeriesError(unsigned pin, const SaveError& error) {
    if (sink_)
        sink_->onSaveError(pin, error.caption, error.text, error.framesNotSaved);
    else
        std::fprintf(stderr, "%s: %s\n", error.caption.c_str(), error.text.c_str());
}

HResult ZmSourceFilter::QueryInterface(const Guid& iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IDeviceSource)
        *object = static_cast<IDeviceSource*>(this);
    else if (iid == IID_ISnapshotControl)
        *object = static_cast<ISnapshotControl*>(this);
    else if (iid == IID_IRecordingSettings)
        *object = static_cast<IRecordingSettings*>(this);
    else if (iid == IID_ICrosshair)
        *object = static_cast<ICrosshair*>(this);
    else if (iid == IID_ISpecifyPropertyPages)
        *object = static_cast<ISpecifyPropertyPages*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

HResult ZmSourceFilter::AddDevice(ZmCoreLib::IDevice* device) {
    if (!device) return E_POINTER;
    ZmSourceFltPin* added = nullptr;
    {
        std::lock_guard guard(lock_);
        std::unique_ptr<ZmSourceFltPin> pin(new (std::nothrow)
                                                ZmSourceFltPin(*this, static_cast<unsigned>(pins_.size())));
        if (!pin) return E_OUTOFMEMORY;
        added = pin.get();
        pins_.push_back(std::move(pin));
    }
    added->bind(device);
    if (sink_) sink_->onPinAdded(added->index());
    return S_OK;
}

HResult ZmSourceFilter::BreakWait() {
    std::lock_guard guard(lock_);
    for (auto& pin : pins_) pin->BreakWait();
    return S_OK;
}

HResult ZmSourceFilter::Snapshot(unsigned pin) {
    std::optional<SaveError> error;
    const HResult result = withPin(pin, [&error](ZmSourceFltPin& p) { error = p.SaveFrame(); });
    // The user sees the error after the lock is released, so that frames keep flowing meanwhile.
    if (error) platform::showMessageBox(error->caption, error->text);
    return result;
}

HResult ZmSourceFilter::SetSeries(bool on, unsigned pin) {
    std::optional<SaveError> loss;
    const HResult result = withPin(pin, [on, &loss](ZmSourceFltPin& p) { loss = p.setSeries(on); });
    if (loss) reportSeriesError(pin, *loss);
    return result;
}

HResult ZmSourceFilter::GetSeries(bool* on, unsigned pin) {
    if (!on) return E_POINTER;
    return withPin(pin, [on](ZmSourceFltPin& p) { *on = p.series(); });
}

HResult ZmSourceFilter::SetFolder(const char16_t* folder, unsigned pin) {
    if (!folder) return E_POINTER;
    return withPin(pin, [folder](ZmSourceFltPin& p) { p.setFolder(folder); });
}

HResult ZmSourceFilter::GetFolder(std::u16string* folder, unsigned pin) {
    if (!folder) return E_POINTER;
    return withPin(pin, [folder](ZmSourceFltPin& p) { *folder = p.folder(); });
}

HResult ZmSourceFilter::Reserved7(std::int32_t, unsigned pin) {
    const HResult result = withPin(pin, [](ZmSourceFltPin&) {});
    return result == S_OK ? E_NOTIMPL : result;
}

HResult ZmSourceFilter::Reserved8(std::int32_t, unsigned pin) {
    const HResult result = withPin(pin, [](ZmSourceFltPin&) {});
    return result == S_OK ? E_NOTIMPL : result;
}

HResult ZmSourceFilter::SetFileFormat(const char16_t* format, unsigned pin) {
    if (!format) return E_POINTER;
    const bool supported =
        std::u16string_view(kSupportedFileFormats).find(format) != std::u16string_view::npos;
    const HResult result = withPin(pin, [&](ZmSourceFltPin& p) {
        if (supported) p.setFileFormat(format);
    });
    if (result != S_OK) return result;
    return supported ? S_OK : E_INVALIDARG;
}

HResult ZmSourceFilter::GetFileFormat(std::u16string* format, unsigned pin) {
    if (!format) return E_POINTER;
    return withPin(pin, [format](ZmSourceFltPin& p) { *format = p.fileFormat(); });
}

HResult ZmSourceFilter::SetShow(bool show) {
    return withCrosshair([show](ZmSourceFltPin& p) { p.crosshair().shown = show; });
}

HResult ZmSourceFilter::GetShow(bool* show) {
    if (!show) return E_POINTER;
    return withCrosshair([show](ZmSourceFltPin& p) { *show = p.crosshair().shown; });
}

HResult ZmSourceFilter::SetPosition(std::int32_t x, std::int32_t y) {
    return withCrosshair([x, y](ZmSourceFltPin& p) {
        p.crosshair().x = x;
        p.crosshair().y = y;
    });
}

HResult ZmSourceFilter::GetPosition(std::int32_t* x, std::int32_t* y) {
    if (!x || !y) return E_POINTER;
    return withCrosshair([x, y](ZmSourceFltPin& p) {
        *x = p.crosshair().x;
        *y = p.crosshair().y;
    });
}

HResult ZmSourceFilter::GetFrameSize(std::int32_t* width, std::int32_t* height) {
    if (!width || !height) return E_POINTER;
    return withCrosshair([width, height](ZmSourceFltPin& p) {
        *width = p.width();
        *height = p.height();
    });
}

HResult ZmSourceFilter::GetPages(PageIds* pages) {
    if (!pages) return E_POINTER;
    auto* elements = static_cast<Guid*>(std::malloc(sizeof(Guid)));
    if (!elements) return E_OUTOFMEMORY;
    elements[0] = CLSID_CrosshairPage;
    pages->count = 1;
    pages->elements = elements;
    return S_OK;
}

template <typename Action>
HResult ZmSourceFilter::withPin(unsigned pin, Action action) {
    std::lock_guard guard(lock_);
    if (pin >= pins_.size()) return E_INVALIDARG;
    action(*pins_[pin]);
    return S_OK;
}

template <typename Action>
HResult ZmSourceFilter::withCrosshair(Action action) {
    std::lock_guard guard(lock_);
    if (pins_.empty()) return E_FAIL;
    action(*pins_.front());
    return S_OK;
}

}  // namespace ZenmiraVidSource
