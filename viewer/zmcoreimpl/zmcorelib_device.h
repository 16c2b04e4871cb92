// One camera as the viewer holds it: the library's device, its serial number (the camera's name
// everywhere in the viewer) and its settings. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "settingitem.h"

namespace ZmCoreLib {
class IDevice;
}

// Thrown by DeviceHolder on misuse (a programming error of the viewer).
struct ZmCorelib_baddevice {
    std::string file;
    int line;
};

class DeviceHolder {
public:
    // Reads the serial number (setting 0x3104); library exceptions leave it empty.
    explicit DeviceHolder(ZmCoreLib::IDevice* device);
    // Copying is allowed only while neither holder is opened (ZmCorelib_baddevice otherwise).
    DeviceHolder(const DeviceHolder& other);
    DeviceHolder& operator=(const DeviceHolder& other);
    // Stops and closes the camera if it was opened.
    ~DeviceHolder();

    // Builds the setting items, registers them in `registry` (the first item of an id stays),
    // opens and starts the camera. Library exceptions are swallowed: what was done stays done.
    // A second call throws ZmCorelib_baddevice.
    void open(SettingRegistry& registry = SettingRegistry::instance());

    // The item for the same setting id as `other`, or null; throws ZmCorelib_baddevice before open().
    SettingItem* find(const SettingItem& other);

    int maxNameLength() const;
    int maxValueLength() const;

    ZmCoreLib::IDevice* device() const { return device_; }
    const std::u16string& serial() const { return serial_; }
    std::vector<SettingItem>& settings() { return settings_; }
    bool opened() const { return opened_; }

private:
    ZmCoreLib::IDevice* device_;  // owned by the library's device creator
    std::u16string serial_;
    std::vector<SettingItem> settings_;
    bool opened_ = false;
};
