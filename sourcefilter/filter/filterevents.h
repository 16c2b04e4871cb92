// What the filter tells its host (the zenmirasrc element) about things it cannot answer itself.
#pragma once

#include <cstdint>
#include <string>

namespace ZenmiraVidSource {

// Code of the event that asks the host to stop, reconnect and restart the pin's stream.
inline constexpr std::int32_t EC_VIDEO_SIZE_CHANGED = 0x0A;

class FilterEventSink {
public:
    // A pin was added by AddDevice. On the caller's thread, without the filter lock.
    virtual void onPinAdded(unsigned pin) = 0;
    // A pin's stream ended; for EC_VIDEO_SIZE_CHANGED param1 is (height << 16) | width of the new
    // picture. On the pin's streaming thread, without the filter lock.
    virtual void onGraphEvent(unsigned pin, std::int32_t code, std::int32_t param1, std::int32_t param2) = 0;
    // A series file could not be written, or a series that stopped writing tells how many frames
    // it lost (texts UTF-8). On the camera library's producer thread, which holds the frame
    // buffer's lock, or on the thread that switched the series: without the filter lock, but it
    // must not block and must not call into the filter.
    // `framesNotSaved` is 0 for the failure of one file and the count for a series' report of
    // what it lost.
    virtual void onSaveError(unsigned pin, const std::string& caption, const std::string& text,
                             std::int32_t framesNotSaved) = 0;

protected:
    ~FilterEventSink() = default;
};

}  // namespace ZenmiraVidSource
