// The source filter's control interfaces, as the viewer and the crosshair page use them.
//
// The filter owns every interface object; they live as long as the filter (the zenmirasrc element)
// and are never deleted by a caller. Each interface reaches the others of the same filter through
// QueryInterface. Operations are safe from any thread; they take the filter lock for a short time
// and never wait for a camera frame. Texts are UTF-16; a returned text is the caller's copy.
#pragma once

#include <cstdint>
#include <string>

#include "zenmiravidsource/guid.h"
#include "zenmiravidsource/hresult.h"

namespace ZmCoreLib {
class IDevice;
}

namespace ZenmiraVidSource {

// The filter object and its property page, by class.
inline constexpr Guid CLSID_ZmSourceFilter{
    0x62A8CDB9, 0xC76F, 0x46E4, {0xB6, 0x8F, 0x25, 0x22, 0x3B, 0xD2, 0x1D, 0x80}};
inline constexpr Guid CLSID_CrosshairPage{
    0x5EEC9DF3, 0xE75F, 0x4C8A, {0xB2, 0x39, 0x1E, 0x16, 0xD1, 0xFD, 0x5D, 0x01}};

inline constexpr Guid IID_IDeviceSource{
    0x60EB129E, 0x0AE7, 0x42A8, {0x8F, 0x6D, 0x44, 0xDA, 0x44, 0xA6, 0xAD, 0x85}};
inline constexpr Guid IID_ISnapshotControl{
    0xA6363D7B, 0x89CF, 0x4A2C, {0xA8, 0xDC, 0xF7, 0x60, 0xC8, 0xA2, 0x81, 0x64}};
inline constexpr Guid IID_IRecordingSettings{
    0x5507E208, 0x77C3, 0x4D84, {0x9A, 0x74, 0x31, 0xD7, 0xA9, 0x1F, 0x9A, 0x83}};
inline constexpr Guid IID_ICrosshair{
    0xB074356F, 0xBA02, 0x4DD7, {0x99, 0x6E, 0x7C, 0xD3, 0xF9, 0xE7, 0xDA, 0x60}};
inline constexpr Guid IID_ISpecifyPropertyPages{
    0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

// The root of every control interface: reaches the filter's other interfaces.
class IFilterUnknown {
public:
    // *object = the filter's interface with identifier `iid` (cast it to that interface), or
    // null with E_NOINTERFACE. E_POINTER when `object` is null.
    virtual HResult QueryInterface(const Guid& iid, void** object) = 0;

protected:
    ~IFilterUnknown() = default;
};

class IDeviceSource : public IFilterUnknown {
public:
    // Makes the next output pin (pin i serves the i-th device added) and attaches it to the
    // device's output frame buffer. The device is not owned and must outlive the filter, or be
    // closed only after the filter is gone. E_POINTER for a null device.
    virtual HResult AddDevice(ZmCoreLib::IDevice* device) = 0;

protected:
    ~IDeviceSource() = default;
};

class ISnapshotControl : public IFilterUnknown {
public:
    // Wakes every pin's streaming thread that waits for a frame (or the next one to wait).
    virtual HResult BreakWait() = 0;
    virtual HResult Reserved4() = 0;  // E_NOTIMPL; keeps the operation order
    // Writes the pin's latest frame to its folder now. S_OK also when the file could not be
    // written: that is reported to the user as a message. E_INVALIDARG for a pin out of range.
    virtual HResult Snapshot(unsigned pin) = 0;

protected:
    ~ISnapshotControl() = default;
};

// Every operation returns E_INVALIDARG, changing nothing, when `pin` is not below the pin count.
class IRecordingSettings : public IFilterUnknown {
public:
    // Series mode writes every arriving frame; switching (on or off) restarts the file counter at 0.
    virtual HResult SetSeries(bool on, unsigned pin) = 0;
    virtual HResult GetSeries(bool* on, unsigned pin) = 0;
    virtual HResult SetFolder(const char16_t* folder, unsigned pin) = 0;
    virtual HResult GetFolder(std::u16string* folder, unsigned pin) = 0;
    virtual HResult Reserved7(std::int32_t value, unsigned pin) = 0;  // E_NOTIMPL for a valid pin
    virtual HResult Reserved8(std::int32_t value, unsigned pin) = 0;  // E_NOTIMPL for a valid pin
    // Accepts any part of "bmp;tiff" ("bmp", "tiff", "bmp;tiff", "mp", ""); the empty text and
    // parts found at the start select BMP, the others TIFF. E_INVALIDARG for anything else.
    virtual HResult SetFileFormat(const char16_t* format, unsigned pin) = 0;
    virtual HResult GetFileFormat(std::u16string* format, unsigned pin) = 0;

protected:
    ~IRecordingSettings() = default;
};

// The crosshair of the first camera's live picture (pin 0). Coordinates are pixels of the
// picture, columns from the left, rows from the bottom. Every operation returns S_OK, or
// E_FAIL while the filter has no pin.
class ICrosshair : public IFilterUnknown {
public:
    virtual HResult SetShow(bool show) = 0;
    virtual HResult GetShow(bool* show) = 0;
    virtual HResult SetPosition(std::int32_t x, std::int32_t y) = 0;
    virtual HResult GetPosition(std::int32_t* x, std::int32_t* y) = 0;
    virtual HResult GetFrameSize(std::int32_t* width, std::int32_t* height) = 0;

protected:
    ~ICrosshair() = default;
};

// A counted array of page class identifiers; `elements` is allocated with std::malloc and the
// caller frees it with std::free.
struct PageIds {
    std::uint32_t count = 0;
    Guid* elements = nullptr;
};

class ISpecifyPropertyPages : public IFilterUnknown {
public:
    // One page: CLSID_CrosshairPage. E_POINTER for null, E_OUTOFMEMORY when the array cannot be made.
    virtual HResult GetPages(PageIds* pages) = 0;

protected:
    ~ISpecifyPropertyPages() = default;
};

}  // namespace ZenmiraVidSource
