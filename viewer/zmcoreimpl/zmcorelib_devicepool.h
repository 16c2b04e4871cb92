// The viewer's single owner of the camera library and of one DeviceHolder per camera.
//
// Construction loads libzmcorelib_v4.so, creates every listed camera, keys it by serial number
// (a camera whose serial number an earlier one has is left out, and the user is told) and opens
// them all; destruction closes every camera and only then unloads the library. The
// camera set is fixed for the whole run. The map order (UTF-16 code units of the serial number)
// is the camera order of the whole viewer: camera index i is the i-th holder. GUI thread only.
#pragma once

#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/library.h"
#include "qx_classes/exception.h"
#include "zmcoreimpl/zmcorelib_device.h"

// Why the pool could not be built: "File name: <unit>\nLine: <line>\n<message>".
class CBad_device_pool : public qx_classes::Exception {
public:
    CBad_device_pool(const char* file, int line, const std::string& message);
    void describe(std::string& out) const override;

private:
    std::string text_;
};

class DevicePool {
public:
    using Devices = std::map<std::u16string, DeviceHolder>;
    using iterator = Devices::iterator;

    static constexpr const char* kLibraryFile = "libzmcorelib_v4.so";

    // The process's pool, built on the first call; throws CBad_device_pool when it cannot be.
    static DevicePool& instance();

    // Loads `libraryFile`, creates and opens its cameras, registering their settings in
    // `registry`. Throws CBad_device_pool (nothing stays loaded or opened then).
    explicit DevicePool(const std::string& libraryFile = kLibraryFile,
                        SettingRegistry& registry = SettingRegistry::instance());
    ~DevicePool();
    DevicePool(const DevicePool&) = delete;
    DevicePool& operator=(const DevicePool&) = delete;

    iterator begin() { return devices_.begin(); }
    iterator end() { return devices_.end(); }
    int size() const { return int(devices_.size()); }
    // The holder of camera index `index`, or null past the end.
    DeviceHolder* at(int index);
    // What the user is told of each listed camera that is left out because a camera before it in
    // the list has its serial number (also written to standard error at construction), in list
    // order; UTF-8.
    const std::vector<std::string>& leftOut() const { return leftOut_; }

private:
    // Declared before the holders so that every camera is closed before the library goes.
    platform::DynamicLibrary library_;
    Devices devices_;
    std::vector<std::string> leftOut_;
};
