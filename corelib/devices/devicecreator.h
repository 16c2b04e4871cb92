// Device creation: one creator per entry of the environment's camera list builds the camera
// object of the model that the camera's USB identity selects, and owns it.
//
// Threads: a creator is used by one client thread at a time (the environment hands it out; the
// client calls CreateDevice). The camera objects it builds run their own threads.
#pragma once

#include <memory>
#include <optional>

#include "core/pair.h"
#include "devices/modelselection.h"
#include "hardware/driver/usbdriver.h"
#include "hardware/hwlayer.h"
#include "zmcorelib/device.h"
#include "zmcorelib/setting.h"

namespace ZmCoreLib_v4 {

class Device;

// An iterator over no settings: always at its end. It is a member of its owner and is never
// freed by its user, so Release does nothing.
class NullIterator final : public ZmCoreLib::ISettingIterator {
public:
    void First() override {}
    bool IsDone() override { return true; }
    void Next() override {}
    void Release() override {}
    ZmCoreLib::ISetting* Current() override { return nullptr; }
};

// How a creator finds out which camera sits on a device index and builds it. The default opens
// the device, reads its USB identity and builds the model over a hardware layer on that same
// handle; tests put in their own.
class CameraBuilder {
public:
    virtual ~CameraBuilder() = default;
    // The model for the camera on `deviceIndex`, or none when no model serves it.
    virtual std::optional<ModelChoice> identify(int deviceIndex) = 0;
    // The camera the last identify() found, as `choice`; null when that found none.
    virtual std::unique_ptr<Device> build(const ModelChoice& choice) = 0;
};

class DeviceCreator final : public ZmCoreLib::IDeviceCreator {
public:
    // A creator for the camera list's `entry` (key = device index) on `driver`'s bus, which must
    // outlive the creator.
    explicit DeviceCreator(ZmCoreLib::Pair entry, UsbDriver& driver = usbDriver());
    DeviceCreator(ZmCoreLib::Pair entry, std::unique_ptr<CameraBuilder> builder);
    // Closes and destroys the camera object it made.
    ~DeviceCreator();
    DeviceCreator(const DeviceCreator&) = delete;
    DeviceCreator& operator=(const DeviceCreator&) = delete;

    // No creation parameters: an iterator that is always at its end.
    ZmCoreLib::ISettingIterator* GetSettings() override { return &parameters_; }
    // Builds the camera object for the entry's USB identity and returns it; the creator owns it.
    // The object made before is closed (its threads end) and destroyed first, so that two
    // objects never drive one camera; clients must be done with it. When the identity selects no model,
    // nothing is built and the object made before (or null) is returned.
    ZmCoreLib::IDevice* CreateDevice() override;

private:
    // Closes the object before destroying it: a camera that a client left open runs threads
    // that step through the object, which must end before it is taken apart.
    struct CloseAndDelete {
        void operator()(Device* device) const;
    };

    ZmCoreLib::Pair entry_;
    std::unique_ptr<CameraBuilder> builder_;
    std::unique_ptr<Device, CloseAndDelete> device_;
    NullIterator parameters_;
};

// Whether the library can build the model of `choice`: family B models need a sensor whose
// readout timing and geometry are known.
bool canBuild(const ModelChoice& choice);

// Builds the camera object of `choice` over `layer` (null when canBuild refuses it). Runs the
// model's bring-up on the calling thread.
std::unique_ptr<Device> buildCamera(const ModelChoice& choice, std::unique_ptr<IHwLayer> layer);

}  // namespace ZmCoreLib_v4
