#include "devices/devicecreator.h"

#include <cerrno>
#include <utility>

#include "devices/device.h"
#include "devices/devicedalsaft50.h"
#include "devices/devicekodak.h"
#include "devices/devicemt9m032.h"
#include "devices/devicesonyicx285.h"
#include "devices/devicesonyicx285b.h"
#include "devices/environment.h"
#include "hardware/hwlayerusbfx2.h"
#include "hardware/usb/usbdevice.h"
#include "platform/messagebox.h"

namespace ZmCoreLib_v4 {

namespace {

class UsbCameraBuilder final : public CameraBuilder {
public:
    explicit UsbCameraBuilder(UsbDriver& driver) : driver_(driver) {}

    std::optional<ModelChoice> identify(int deviceIndex) override {
        identified_.reset();
        auto usb = std::make_unique<UsbDevice>(kCameraInterfaceClass, false, driver_);
        if (!usb->Open(deviceIndex)) {
            if (usb->lastError() == EBUSY)
                platform::showMessageBox(Environment::kMessageCaption,
                                         inUseElsewhereMessage(driver_, deviceIndex));
            return std::nullopt;
        }
        // The bus may have changed since the list was made: never drive a foreign device.
        if (usb->vendorId() != kCameraVendorId) return std::nullopt;
        const std::optional<ModelChoice> choice = selectModel(usb->productId(), usb->deviceRelease());
        if (!choice || !canBuild(*choice)) return std::nullopt;
        identified_ = std::move(usb);
        return choice;
    }

    // Built on the handle that identified the camera: opening the index again could meet another
    // camera when one was plugged in or out meanwhile.
    std::unique_ptr<Device> build(const ModelChoice& choice) override {
        if (!identified_) return nullptr;
        return buildCamera(choice, std::make_unique<HwLayerUsbFx2>(std::move(identified_)));
    }

private:
    UsbDriver& driver_;
    std::unique_ptr<UsbDevice> identified_;  // open from identify() to build()
};

}  // namespace

DeviceCreator::DeviceCreator(ZmCoreLib::Pair entry, UsbDriver& driver)
    : DeviceCreator(std::move(entry), std::make_unique<UsbCameraBuilder>(driver)) {}

DeviceCreator::DeviceCreator(ZmCoreLib::Pair entry, std::unique_ptr<CameraBuilder> builder)
    : entry_(std::move(entry)), builder_(std::move(builder)) {}

DeviceCreator::~DeviceCreator() = default;

ZmCoreLib::IDevice* DeviceCreator::CreateDevice() {
    const int deviceIndex = entry_.GetKey();
    const std::optional<ModelChoice> choice = builder_->identify(deviceIndex);
    if (!choice) return device_.get();
    device_.reset();
    device_.reset(builder_->build(*choice).release());
    return device_.get();
}

void DeviceCreator::CloseAndDelete::operator()(Device* device) const {
    device->Close();
    delete device;
}

bool canBuild(const ModelChoice& choice) {
    switch (choice.model) {
        case CameraModel::SonyIcx285B:
            return DeviceSonyIcx285B::knowsSensor(choice.sensor);
        case CameraModel::Kodak:
            return DeviceKodak::knowsSensor(choice.sensor);
        default:
            return true;
    }
}

std::unique_ptr<Device> buildCamera(const ModelChoice& choice, std::unique_ptr<IHwLayer> layer) {
    if (!canBuild(choice)) return nullptr;
    const int fibreOptic = choice.fibreOptic ? 1 : 0;
    const int sensorTemperature = choice.sensorTemperature ? 1 : 0;
    switch (choice.model) {
        case CameraModel::MT9M032:
            return std::make_unique<DeviceMT9M032>(std::move(layer), fibreOptic);
        case CameraModel::SonyIcx285:
            return std::make_unique<DeviceSonyIcx285>(std::move(layer), fibreOptic);
        case CameraModel::DalsaFT50:
            return std::make_unique<DeviceDalsaFT50>(std::move(layer), choice.sensor, fibreOptic,
                                                     sensorTemperature);
        case CameraModel::SonyIcx285B:
            return std::make_unique<DeviceSonyIcx285B>(std::move(layer), choice.sensor, fibreOptic,
                                                       sensorTemperature, choice.intensifier ? 1 : 0);
        case CameraModel::Kodak:
            return std::make_unique<DeviceKodak>(std::move(layer), choice.sensor, fibreOptic,
                                                 sensorTemperature);
    }
    return nullptr;
}

}  // namespace ZmCoreLib_v4
