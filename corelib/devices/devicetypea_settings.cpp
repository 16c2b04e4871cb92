// Family A: the settings list, the coupling of a changed setting to others (Check) and the
// register writer that turns pending changes into register writes.
//
// For now this holds what the frame path needs: the version text bring-up fills, the frame
// geometry the input step reads, the hand-over of every change to the camera thread and the
// intensifier module's share of both.
#include "devices/devicetypea.h"
#include "devices/settingids.h"

namespace ZmCoreLib_v4 {

namespace {
// The setting side waits this many tries for the command buffer.
constexpr int kCheckLockTries = 1000;
}  // namespace

void DeviceTypeA::buildSettings() {
    cameraSettings_.version = settingFactory_.addString(ids::kCameraVersion);
    cameraSettings_.width = settingFactory_.addScalar(
        ids::kFrameWidth, {.units = {ZmCoreLib::kUnitPixel}, .value = std::nullopt});
    cameraSettings_.height = settingFactory_.addScalar(
        ids::kFrameHeight, {.units = {ZmCoreLib::kUnitPixel}, .value = std::nullopt});
}

int DeviceTypeA::Check(unsigned settingId) {
    // After failed tries the change is queued all the same; only a lock that was taken is given back.
    const bool locked = commandBuffer_.Lock(CommandBuffer::kSetterClass, kCheckLockTries);
    if (module_) module_->SettingChanged(settingId);
    commandBuffer_.Push(static_cast<int>(settingId));
    if (locked) commandBuffer_.Unlock();
    return 0;
}

void DeviceTypeA::writePendingSettings() {
    while (const int id = commandBuffer_.Pop()) {
        if (module_) module_->Apply(static_cast<unsigned>(id));
    }
}

}  // namespace ZmCoreLib_v4
