// The cameras the element opens by itself when no application handed it any: every camera the
// camera library lists, in serial-number order.
#pragma once

#include <string>
#include <vector>

#include "platform/library.h"

namespace ZmCoreLib {
class IDevice;
}

namespace ZenmiraVidSource {

class StandaloneCameras {
public:
    StandaloneCameras() = default;
    ~StandaloneCameras();
    StandaloneCameras(const StandaloneCameras&) = delete;
    StandaloneCameras& operator=(const StandaloneCameras&) = delete;

    // Loads libzmcorelib_v4.so (through the normal search, else from the plugin's parent folder,
    // where the installed and build trees keep it) and creates a device per listed camera, ordered by serial
    // number (once; later calls keep the devices). False with error() saying what to do otherwise.
    bool discover();
    // Opens and starts every device. False with error() when one cannot be opened or started;
    // the devices opened so far are closed again.
    bool openAll();
    // Stops and closes every open device. Call after the pins have left their frame buffers.
    void closeAll();

    const std::vector<ZmCoreLib::IDevice*>& devices() const { return devices_; }
    const std::string& error() const { return error_; }

private:
    platform::DynamicLibrary library_;
    std::vector<ZmCoreLib::IDevice*> devices_;  // owned by the library's environment
    std::vector<ZmCoreLib::IDevice*> open_;
    std::string error_;
};

}  // namespace ZenmiraVidSource
