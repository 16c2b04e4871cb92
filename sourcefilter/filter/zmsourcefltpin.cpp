#include "zmsourcefltpin.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#include "imagecodec.h"
#include "platform/text.h"
#include "qx_classes/exception.h"
#include "zmcorelib/device.h"
#include "zmcorelib/ids.h"
#include "zmcorelib/setting.h"
#include "zmsourcefilter.h"

namespace ZenmiraVidSource {

namespace {

constexpr int kOfferedTypes = 3;
constexpr std::uint32_t kBitmapInfoHeaderBytes = 40;
constexpr std::int32_t kFrameBits = 16;
constexpr std::uint16_t kSnapshotBorderValue = 0x00FF;
constexpr char16_t kFileNamePrefix[] = u"Камера_";
constexpr char16_t kNoSerialPrefix[] = u"src_";

struct OfferedType {
    const Guid* subtype;
    std::uint16_t bitCount;
};
constexpr OfferedType kOffered[kOfferedTypes] = {
    {&MEDIASUBTYPE_RGB24, 24}, {&MEDIASUBTYPE_RGB32, 32}, {&MEDIASUBTYPE_ARGB32, 32}};

int scalarValue(ZmCoreLib::ISetting* setting) {
    ZmCoreLib::ISettingScalar* scalar = setting->GetScalar();
    return scalar ? scalar->GetValue() : 0;
}

// The extension of `device` from the library that made it, found through the library's export
// beside the device's own code; null (and `library` unloaded) when that library has none.
ZmCoreLib::IDeviceEx* deviceExtension(ZmCoreLib::IDevice* device, platform::DynamicLibrary& library) {
    // The object's virtual table lies in the library that made it.
    if (!library.loadContaining(*reinterpret_cast<void* const*>(device))) return nullptr;
    const auto getEnvironmentEx =
        reinterpret_cast<GetEnvironmentExFunction>(library.symbol("GetEnvironmentEx"));
    ZmCoreLib::IEnvironmentEx* environment = getEnvironmentEx ? getEnvironmentEx() : nullptr;
    ZmCoreLib::IDeviceEx* extension = environment ? environment->GetDeviceEx(device) : nullptr;
    if (!extension) library.unload();
    return extension;
}

// The last part of a path.
std::string_view fileNameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

ZmSourceFltPin::ZmSourceFltPin(ZmSourceFilter& filter, unsigned index) : filter_(filter), index_(index) {}

ZmSourceFltPin::~ZmSourceFltPin() {
    {
        std::lock_guard guard(filter_.lock());
        endManifest();
    }
    unbind();
}

void ZmSourceFltPin::bind(ZmCoreLib::IDevice* device) {
    ZmCoreLib::IFrameBuffer* previous = nullptr;
    ZmCoreLib::IFrameBuffer* next = device->GetFrameBuffer();
    platform::DynamicLibrary library;
    ZmCoreLib::IDeviceEx* extension = deviceExtension(device, library);
    {
        std::lock_guard guard(filter_.lock());
        if (ZmCoreLib::ISettingIterator* settings = device->GetSettings()) {
            for (settings->First(); !settings->IsDone(); settings->Next()) {
                ZmCoreLib::ISetting* setting = settings->Current();
                switch (setting->GetId()) {
                    case ZmCoreLib::ids::kFrameWidth:
                        width_ = pendingWidth_ = scalarValue(setting);
                        break;
                    case ZmCoreLib::ids::kFrameHeight:
                        height_ = pendingHeight_ = scalarValue(setting);
                        break;
                    case ZmCoreLib::ids::kCameraSerial:
                        serialSetting_ = setting;
                        break;
                    default:
                        break;
                }
            }
            settings->Release();
        }
        previous = frameBuffer_;
        device_ = device;
        frameBuffer_ = next;
        deviceLibrary_ = std::move(library);
        deviceExtension_ = extension;
    }
    // Outside the filter lock: the buffer's lock is held while it calls OnFrameReady, which takes
    // the filter lock.
    if (previous && previous != next) previous->RemoveObserver(this);
    if (next) next->AddObserver(this);
}

void ZmSourceFltPin::unbind() {
    ZmCoreLib::IFrameBuffer* previous = nullptr;
    {
        std::lock_guard guard(filter_.lock());
        previous = frameBuffer_;
        frameBuffer_ = nullptr;
        device_ = nullptr;
        deviceExtension_ = nullptr;
        deviceLibrary_.unload();
    }
    if (previous) previous->RemoveObserver(this);
}

HResult ZmSourceFltPin::GetMediaType(int position, MediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position >= kOfferedTypes) return VFW_S_NO_MORE_ITEMS;
    std::lock_guard guard(filter_.lock());
    if (!type) return E_POINTER;
    *type = MediaType{};
    BitmapInfoHeader& header = type->header;
    header.biSize = kBitmapInfoHeaderBytes;
    header.biWidth = width_;
    header.biHeight = height_;
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    header.biBitCount = kOffered[position].bitCount;
    header.biSizeImage = bitmapImageBytes(header);
    type->majorType = MEDIATYPE_Video;
    type->subtype = *kOffered[position].subtype;
    type->formatType = FORMAT_VideoInfo;
    type->temporalCompression = false;
    type->sampleSize = header.biSizeImage;
    return S_OK;
}

HResult ZmSourceFltPin::CheckMediaType(const MediaType* type) {
    if (!type) return E_POINTER;
    if (!(type->formatType == FORMAT_VideoInfo)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (!(type->subtype == MEDIASUBTYPE_RGB24) && !(type->subtype == MEDIASUBTYPE_RGB32))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HResult ZmSourceFltPin::setConnectionType(const MediaType& type) {
    std::lock_guard guard(filter_.lock());
    const HResult result = CheckMediaType(&type);
    if (result == S_OK) connection_ = type;
    return result;
}

void ZmSourceFltPin::clearConnection() {
    std::lock_guard guard(filter_.lock());
    connection_.reset();
}

HResult ZmSourceFltPin::DecideBufferSize(SampleAllocator* allocator, AllocatorProperties* properties) {
    std::lock_guard guard(filter_.lock());
    if (!allocator || !properties) return E_POINTER;
    if (!connection_) return E_FAIL;
    if (properties->buffers == 0) properties->buffers = 1;
    properties->bufferSize = static_cast<std::int32_t>(connection_->header.biSizeImage);
    AllocatorProperties actual;
    if (!allocator->SetProperties(*properties, &actual)) return E_FAIL;
    if (actual.bufferSize < properties->bufferSize) return E_FAIL;
    return S_OK;
}

HResult ZmSourceFltPin::OnThreadStartPlay() {
    std::lock_guard guard(filter_.lock());
    if (frameBuffer_) {
        if (ZmCoreLib::IFrame* stale = frameBuffer_->GetFrame()) stale->Release();
    }
    return S_OK;
}

void ZmSourceFltPin::BreakWait() {
    breakWait_.set();
}

HResult ZmSourceFltPin::FillBuffer(SampleBuffer& sample) {
    sample.filled = false;
    int signalled = -1;
    if (platform::waitForEither(breakWait_, frameReady_, platform::kWaitForever, &signalled) !=
            platform::WaitResult::Signalled ||
        signalled == 0)
        return S_OK;

    std::int32_t sizeChangeParameter = 0;
    {
        std::lock_guard guard(filter_.lock());
        if (width_ != pendingWidth_ || height_ != pendingHeight_ || bits_ != pendingBits_) {
            width_ = pendingWidth_;
            height_ = pendingHeight_;
            bits_ = pendingBits_;
            sizeChangeParameter =
                static_cast<std::int32_t>(((static_cast<std::uint32_t>(height_) & 0xFFFF) << 16) |
                                          (static_cast<std::uint32_t>(width_) & 0xFFFF));
        } else if (bits_ == kFrameBits) {
            const PixelLayout layout = connection_ && connection_->subtype == MEDIASUBTYPE_RGB24
                                           ? PixelLayout::Bgr24
                                           : PixelLayout::Bgrx32;
            const std::int64_t rowBytes = std::int64_t{width_} * bytesPerPixel(layout);
            const std::int64_t needed =
                height_ > 0 ? (height_ - 1) * std::int64_t{sample.strideBytes} + rowBytes : 0;
            if (!sample.data || sample.strideBytes < rowBytes ||
                static_cast<std::int64_t>(sample.sizeBytes) < needed ||
                static_cast<std::int64_t>(frame_.size()) < std::int64_t{width_} * height_)
                return E_FAIL;
            convertPreview(frame_.data(), width_, height_,
                           PreviewTarget{sample.data, sample.strideBytes, layout}, crosshair_);
            sample.filled = true;
            return S_OK;
        } else {
            return S_OK;
        }
    }
    if (FilterEventSink* sink = filter_.eventSink())
        sink->onGraphEvent(index_, EC_VIDEO_SIZE_CHANGED, sizeChangeParameter, 0);
    return S_FALSE;
}

void ZmSourceFltPin::OnFrameReady(int /*reserved*/) {
    std::optional<SaveError> error;
    {
        std::lock_guard guard(filter_.lock());
        if (!frameBuffer_) return;
        ZmCoreLib::IFrame* f = frameBuffer_->GetFrame();
        if (!f) return;
        int w = 0, h = 0, b = 0;
        f->GetFormat(&w, &h, &b);
        const void* data = f->GetData();
        // Only 16-bit frames can be shown and saved; any other frame is dropped unread.
        if (b != kFrameBits || w <= 0 || h <= 0 || !data) {
            f->Release();
            return;
        }
        if (w != pendingWidth_ || h != pendingHeight_ || b != pendingBits_) {
            pendingWidth_ = w;
            pendingHeight_ = h;
            pendingBits_ = bits_ = kFrameBits;
            frame_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
            frameBytes_ = static_cast<std::int32_t>(frame_.size() * sizeof(std::uint16_t));
        }
        std::memcpy(frame_.data(), data, static_cast<std::size_t>(frameBytes_));
        ZmCoreLib::FrameInfo info{};
        frameInfo_.reset();
        if (deviceExtension_ && deviceExtension_->GetFrameInfo(f, &info)) frameInfo_ = info;
        if (series_) error = saveSeriesFrame();
        f->Release();
        frameReady_.set();
    }
    if (error) filter_.reportSeriesError(index_, *error);
}

std::optional<SaveError> ZmSourceFltPin::setSeries(bool on) {
    std::optional<SaveError> loss = takeLossReport();
    endManifest();
    series_ = on;
    seriesCounter_ = 0;
    seriesNotSaved_ = 0;
    manifestRefused_ = false;
    return loss;
}

std::optional<SaveError> ZmSourceFltPin::startManifest() {
    std::u16string base = folder_.empty() ? std::u16string() : folder_ + u"/";
    base += fileBaseName();
    std::string why;
    manifest_ = SeriesManifest::create(platform::toUtf8(base), &why);
    if (manifest_) return std::nullopt;
    return SaveError{kSaveErrorCaption, why};
}

void ZmSourceFltPin::endManifest() {
    if (!manifest_) return;
    std::optional<ZmCoreLib::DropLedger> ledger;
    if (deviceExtension_) {
        ledger.emplace();
        deviceExtension_->GetDropLedger(&*ledger);
    }
    manifest_->summary(seriesNotSaved_, ledger);
    manifest_.reset();
}

std::u16string ZmSourceFltPin::fileBaseName() const {
    std::u16string serialText;
    if (serialSetting_) {
        if (ZmCoreLib::ISettingString* serial = serialSetting_->GetString()) {
            if (const char16_t* text = serial->GetValue()) serialText = text;
        }
    }
    // Without a serial number the pin's place tells cameras apart, named as the element's pads.
    if (serialText.empty()) serialText = kNoSerialPrefix + platform::toUtf16(std::to_string(index_));
    return kFileNamePrefix + serialText;
}

std::u16string ZmSourceFltPin::nextPath() {
    std::u16string path = folder_.empty() ? std::u16string() : folder_ + u"/";
    path += fileBaseName();
    if (series_) {
        path += u"#";
        path += platform::toUtf16(std::to_string(seriesCounter_++));
    }
    return path;
}

std::optional<SaveError> ZmSourceFltPin::SaveFrame() {
    int cause = 0;
    return writeFrame(nextPath(), cause);
}

std::optional<SaveError> ZmSourceFltPin::saveSeriesFrame() {
    const std::int32_t number = seriesCounter_;
    const std::u16string path = nextPath();
    int cause = 0;
    std::optional<SaveError> error = writeFrame(path, cause);
    std::optional<SaveError> noManifest = noteSeriesFrame(number, path, error, cause);
    if (!error) {
        std::optional<SaveError> loss = takeLossReport();
        return loss ? loss : noManifest;
    }
    if (cause == 0 || cause == EEXIST) return error;
    if (lostCount_++ > 0) return std::nullopt;
    firstLost_ = number;
    return error;
}

std::optional<SaveError> ZmSourceFltPin::noteSeriesFrame(std::int32_t number, const std::u16string& path,
                                                         const std::optional<SaveError>& error, int cause) {
    if (error) {
        ++seriesNotSaved_;
        if (deviceExtension_) deviceExtension_->CountDrop(ZmCoreLib::DropStage::kFileNotWritten, 1);
    }
    std::optional<SaveError> noManifest;
    if (!manifest_ && !manifestRefused_) {
        noManifest = startManifest();
        manifestRefused_ = noManifest.has_value();
        // A folder that takes no image takes no manifest either: the image's error tells of it.
        if (error) noManifest.reset();
    }
    if (!manifest_) return noManifest;
    std::string name;
    try {
        name = ImageCodec::fileName(fileFormat_, path);
    } catch (const BadCodecFormat&) {
        name = platform::toUtf8(path);
    }
    std::string status(SeriesManifest::kSaved);
    if (error) {
        // The reason in one line: the system's cause, else the first line of the message.
        const std::string& text = error->text;
        status = std::string("not saved: ") +
                 (cause != 0 ? std::strerror(cause) : text.substr(0, text.find('\n')));
    }
    manifest_->frame(number, frameInfo_, fileNameOf(name), status);
    return std::nullopt;
}

std::optional<SaveError> ZmSourceFltPin::takeLossReport() {
    if (lostCount_ == 0) return std::nullopt;
    const std::string name = platform::toUtf8(fileBaseName()) + "#";
    const std::int32_t lastLost = firstLost_ + lostCount_ - 1;
    std::string text =
        kSeriesLossText + std::to_string(lostCount_) + " (" + name + std::to_string(firstLost_);
    if (lastLost != firstLost_) text += " … " + name + std::to_string(lastLost);
    const std::int32_t lost = std::exchange(lostCount_, 0);
    return SaveError{kSaveErrorCaption, text + ")", lost};
}

std::optional<SaveError> ZmSourceFltPin::writeFrame(const std::u16string& path, int& cause) {
    // The copy describes itself: a frame of a new size is saved at its own size even before the
    // streaming thread adopts it.
    const std::int32_t w = pendingWidth_;
    const std::int32_t h = pendingHeight_;
    const std::int32_t bits = frameBytes_ > 0 ? pendingBits_ : 0;
    std::vector<std::uint16_t> image(frame_.size());
    if (bits == kFrameBits) {
        const std::size_t n = frame_.size();
        for (std::size_t k = 0; k < n; ++k) image[k] = frame_[n - 1 - k];
        for (std::int32_t row = 0; row < h; ++row) {
            image[static_cast<std::size_t>(row) * w] = kSnapshotBorderValue;
            image[static_cast<std::size_t>(row) * w + w - 1] = kSnapshotBorderValue;
        }
    }
    try {
        ImageCodec codec(w, h, bits, kSupportedColourModels, image.data());
        codec.Save(fileFormat_, path);
    } catch (const qx_classes::Win32_exception& e) {
        cause = static_cast<int>(e.error());
        return SaveError{kSaveErrorCaption,
                         std::string(e.what()) + "\n" + "Имя файла: " + "\n" + platform::toUtf8(path)};
    } catch (const BadCodecFormat&) {
        return SaveError{kSaveErrorCaption, kBadFileFormatText};
    }
    return std::nullopt;
}

}  // namespace ZenmiraVidSource
