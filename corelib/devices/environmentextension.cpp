#include "devices/environmentextension.h"

#include "devices/device.h"

namespace ZmCoreLib_v4 {

namespace {

class EnvironmentExtension final : public ZmCoreLib::IEnvironmentEx {
public:
    ZmCoreLib::IDeviceEx* GetDeviceEx(ZmCoreLib::IDevice* device) override {
        return Device::extensionOf(device);
    }
};

}  // namespace

ZmCoreLib::IEnvironmentEx& environmentExtension() {
    static EnvironmentExtension extension;
    return extension;
}

}  // namespace ZmCoreLib_v4
