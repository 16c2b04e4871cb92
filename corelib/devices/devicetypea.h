// Family A cameras (DeviceMT9M032, DeviceDalsaFT50, DeviceSonyIcx285): 16-bit big-endian pixels,
// four FPGA frame slots of which the camera thread always reads the newest, a control and a
// synchronisation register that switch the acquisition.
//
// The family is split by concern: this file pair holds bring-up and the frame path (the family's
// part of the camera step, and the repack step); devicetypea_settings.cpp holds the settings
// list, Check and the register writer.
#pragma once

#include <memory>
#include <string>

#include "devices/camerasettings.h"
#include "devices/device.h"
#include "hardware/moduleiccd.h"

namespace ZmCoreLib_v4 {

class DeviceTypeA : public Device {
public:
    ~DeviceTypeA() override;

    // Repack thread, under the repack lock: byte order and rotation into the output buffer.
    void RepackStep() override;

    // --- devicetypea_settings.cpp
    // Client thread that changed a setting: couples dependent settings and queues the id.
    int Check(unsigned settingId) override;

protected:
    explicit DeviceTypeA(std::unique_ptr<IHwLayer> layer);

    // Bring-up, called once by the model constructor after it set the window offsets: computes
    // the register addresses, loads the FPGA configuration (a file that cannot be opened is
    // skipped), shows the camera's version and builds the intensifier module if one answers.
    void LoadConfiguration(const std::string& file);

    // --- devicetypea_settings.cpp
    // Builds the family's settings, in list order, into cameraSettings_; called by the constructor.
    void buildSettings();
    void writePendingSettings() override;

    // Register window offsets, set by the model before bring-up: P is 0, Q is 96 on fibre-optic
    // cameras.
    unsigned windowOffsetP_ = 0;
    unsigned windowOffsetQ_ = 0;

    struct Registers {
        unsigned version = 0;
        unsigned control = 0;
        unsigned synchronisation = 0;
        unsigned moduleAddress = 0;  // the module data register follows it
        // The first of the setting registers (R + Q); the register writer counts from it.
        unsigned window = 0;
    };
    Registers registers_;
    // Images of the registers the family changes bit by bit.
    RegisterImage control_;
    RegisterImage synchronisation_;

    SettingFactory settingFactory_{*this, settings_};
    CameraSettings cameraSettings_;
    std::unique_ptr<ModuleIccd> module_;

private:
    void switchOffForSettings() override;
    void switchOffForStop() override;
    void switchOn() override;
    // Reads the newest frame the FPGA holds; older ones are dropped.
    void inputStep() override;

    int currentSlot_ = 0;  // camera thread
};

}  // namespace ZmCoreLib_v4
