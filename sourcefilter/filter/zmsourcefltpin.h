// One output pin per camera: keeps a copy of the camera's latest frame, turns it into live
// pictures on the pin's streaming thread and writes it to disk on demand.
//
// Threads: the host's control thread (binding, media types, recording settings), the pin's
// streaming thread (OnThreadStartPlay, FillBuffer) and the camera library's producer thread
// (OnFrameReady). Everything but the wait in FillBuffer runs under the filter lock; the frame
// buffer's observer registration happens outside it, so binding and frame arrival never wait on
// each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mediatype.h"
#include "platform/event.h"
#include "platform/library.h"
#include "previewconversion.h"
#include "seriesmanifest.h"
#include "zenmiravidsource/hresult.h"
#include "zmcorelib/deviceextensions.h"
#include "zmcorelib/framebuffer.h"

namespace ZmCoreLib {
class IDevice;
class ISetting;
}  // namespace ZmCoreLib

namespace ZenmiraVidSource {

class ZmSourceFilter;

// A sample's memory as the streaming thread hands it to FillBuffer: rows top row first.
struct SampleBuffer {
    std::uint8_t* data = nullptr;
    std::size_t sizeBytes = 0;
    std::ptrdiff_t strideBytes = 0;
    bool filled = false;  // set by FillBuffer when it wrote a picture
};

struct AllocatorProperties {
    std::int32_t buffers = 0;
    std::int32_t bufferSize = 0;
    std::int32_t align = 0;
    std::int32_t prefix = 0;
};

// The host's sample pool as the pin sizes it.
class SampleAllocator {
public:
    // Applies `request`; false when the pool refused. `actual` receives what the pool now uses.
    virtual bool SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) = 0;

protected:
    ~SampleAllocator() = default;
};

// An error to show the user after the filter lock is released (texts UTF-8).
struct SaveError {
    std::string caption;
    std::string text;
    std::int32_t framesNotSaved = 0;  // a series' count of lost frames; 0 for one file's failure
};

inline constexpr char kSaveErrorCaption[] = "Zenmira Kelvo: Ошибка сохранения изображения";
inline constexpr char kBadFileFormatText[] = "Неверный формат файла";
inline constexpr char kSeriesLossText[] = "Не сохранено кадров серии: ";

class ZmSourceFltPin final : public ZmCoreLib::IFrameBufferObserver {
public:
    ZmSourceFltPin(ZmSourceFilter& filter, unsigned index);
    // Detaches from the frame buffer first, so that no notification reaches a destroyed pin.
    ~ZmSourceFltPin();
    ZmSourceFltPin(const ZmSourceFltPin&) = delete;
    ZmSourceFltPin& operator=(const ZmSourceFltPin&) = delete;

    unsigned index() const { return index_; }

    // Takes the picture size and serial number from the device's settings and becomes an
    // observer of its output frame buffer (none while the device is closed), leaving the previous
    // buffer. Control thread.
    void bind(ZmCoreLib::IDevice* device);
    // Leaves the frame buffer; call before the device closes. Control thread.
    void unbind();

    // Media types offered at positions 0, 1, 2: RGB24, RGB32, ARGB32 at the current picture size.
    HResult GetMediaType(int position, MediaType* type);
    // RGB24 and RGB32 in the video-info format are accepted; nothing is recorded.
    HResult CheckMediaType(const MediaType* type);
    // Checks and records the type of the connection; FillBuffer writes pixels of this layout.
    HResult setConnectionType(const MediaType& type);
    void clearConnection();
    // Sizes the pool to the connection's picture: at least one buffer of biSizeImage bytes.
    HResult DecideBufferSize(SampleAllocator* allocator, AllocatorProperties* properties);

    // Streaming thread, when it starts: drops the oldest queued frame.
    HResult OnThreadStartPlay();
    // Streaming thread: waits (without the filter lock) for a frame or BreakWait. S_OK with
    // sample.filled when a picture was written; S_OK without it after BreakWait; S_FALSE when the
    // picture size changed (the pin adopts the new size, reports EC_VIDEO_SIZE_CHANGED to the
    // filter's sink; the host ends the stream and reconnects); E_FAIL when the sample cannot hold
    // the picture.
    HResult FillBuffer(SampleBuffer& sample);
    // Wakes FillBuffer's wait, or the next one when none waits. Any thread.
    void BreakWait();

    // Producer thread: copies the oldest ready frame; in series mode also writes it to disk.
    void OnFrameReady(int reserved) override;

    // The operations below run under the filter lock (the filter takes it).
    std::optional<SaveError> SaveFrame();
    // Switches the series on or off; each switch starts the numbering again at 0. A series keeps
    // its manifest (SeriesManifest) in its folder from its first frame to its end. Returns the
    // count of frames that the series ending now could not save, if any (see saveSeriesFrame).
    std::optional<SaveError> setSeries(bool on);
    bool series() const { return series_; }
    void setFolder(std::u16string folder) { folder_ = std::move(folder); }
    const std::u16string& folder() const { return folder_; }
    void setFileFormat(std::u16string format) { fileFormat_ = std::move(format); }
    const std::u16string& fileFormat() const { return fileFormat_; }
    CrosshairState& crosshair() { return crosshair_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

private:
    // "Камера_" and the camera's serial number, or "src_" and the pin index for a camera without
    // one: the name of every file of this camera.
    std::u16string fileBaseName() const;
    // The next file's path without extension; in series mode numbered, taking the next number.
    std::u16string nextPath();
    // Writes the latest frame to `path`; `cause` receives the system's error code of a failed
    // write (0 for other failures).
    std::optional<SaveError> writeFrame(const std::u16string& path, int& cause);
    // A series frame. When the folder takes no more files (full, gone, read-only) the first
    // failure is reported and the frames after it only counted, until a file is written again;
    // a name that is taken concerns that one file and is reported each time.
    std::optional<SaveError> saveSeriesFrame();
    // The count of frames lost since the series stopped writing, once; nothing when none were.
    std::optional<SaveError> takeLossReport();
    // Starts the manifest of a series beginning now; why there is none when it cannot be made.
    std::optional<SaveError> startManifest();
    // Writes the summary of the series ending now and closes its manifest.
    void endManifest();
    // A series frame's line in the manifest (made with the series' first frame), and its count
    // when it was not saved. Why there is no manifest, once, when the frame's file was written.
    std::optional<SaveError> noteSeriesFrame(std::int32_t number, const std::u16string& path,
                                             const std::optional<SaveError>& error, int cause);

    ZmSourceFilter& filter_;
    const unsigned index_;

    std::vector<std::uint16_t> frame_;  // copy of the latest frame, as the library delivers it
    std::int32_t frameBytes_ = 0;
    std::int32_t width_ = 0;  // size of the live picture
    std::int32_t height_ = 0;
    std::int32_t bits_ = 0;          // 0 until the first frame, then 16
    std::int32_t pendingWidth_ = 0;  // size of the latest frame, which `frame_` holds
    std::int32_t pendingHeight_ = 0;
    std::int32_t pendingBits_ = 0;
    std::optional<MediaType> connection_;

    ZmCoreLib::IDevice* device_ = nullptr;            // not owned
    ZmCoreLib::IFrameBuffer* frameBuffer_ = nullptr;  // not owned
    ZmCoreLib::ISetting* serialSetting_ = nullptr;    // not owned
    // The library that made the device, held while bound, and the device's extension from it.
    platform::DynamicLibrary deviceLibrary_;
    ZmCoreLib::IDeviceEx* deviceExtension_ = nullptr;
    std::optional<ZmCoreLib::FrameInfo> frameInfo_;  // of the frame `frame_` holds, when known

    platform::Event frameReady_{platform::ResetMode::Auto};
    platform::Event breakWait_{platform::ResetMode::Auto};

    std::u16string folder_;
    bool series_ = false;
    std::int32_t seriesCounter_ = 0;
    std::int32_t firstLost_ = 0;       // number of the first series frame not saved
    std::int32_t lostCount_ = 0;       // series frames not saved since then
    std::int32_t seriesNotSaved_ = 0;  // frames of the running series not saved
    std::unique_ptr<SeriesManifest> manifest_;
    bool manifestRefused_ = false;  // the running series' manifest could not be made
    std::u16string fileFormat_ = u"tiff";
    CrosshairState crosshair_;
};

}  // namespace ZenmiraVidSource
