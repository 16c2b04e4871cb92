// Family B cameras (DeviceSonyIcx285B, DeviceKodak): 12-bit pixels packed four into six bytes,
// FPGA frame slots read strictly in turn (two or four), a frame tag that tells the two frames of
// the two-frame mode apart, sensor and camera temperatures, and a software start.
//
// The family is split by concern: this file pair holds bring-up and the frame path (the family's
// part of the camera step, and the repack step); devicetypeb_settings.cpp holds the settings
// list, Check and the register writer.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "devices/camerasettings.h"
#include "devices/device.h"
#include "hardware/moduleiccd.h"

namespace ZmCoreLib_v4 {

class DeviceTypeB : public Device {
public:
    ~DeviceTypeB() override;

    // Client thread: one software start pulse, under the camera lock so it never falls inside a
    // camera step.
    void SoftwareStart() override;
    // Repack thread, under the repack lock: 12-bit unpacking and rotation into the output buffer.
    void RepackStep() override;

    // --- devicetypeb_settings.cpp
    // Client thread that changed a setting: couples dependent settings and queues the id.
    int Check(unsigned settingId) override;

protected:
    explicit DeviceTypeB(std::unique_ptr<IHwLayer> layer);

    // Bring-up, called once by the model constructor after it set the window offsets and the
    // fibre-optic flag: as family A, with family B's module registers.
    void LoadConfiguration(const std::string& file);

    // --- devicetypeb_settings.cpp
    // Builds the family's settings, in list order, into cameraSettings_; called by the constructor.
    void buildSettings();
    // Also sets the raw frame tag for the input mode.
    void writePendingSettings() override;

    // Register window offsets, set by the model before bring-up: P is 0, Q is 96 on fibre-optic
    // cameras.
    unsigned windowOffsetP_ = 0;
    unsigned windowOffsetQ_ = 0;
    // The camera sends 12-bit pixels packed four into six bytes (both models set it).
    bool packed_ = false;
    // 0, or 1 and 2 alternating in the two-frame mode; the camera thread tags raw frames with it.
    int rawFrameTag_ = 0;

    struct Registers {
        unsigned version = 0;
        unsigned control = 0;
        unsigned temperature = 0;
        unsigned moduleAddress = 0;  // the module data register follows it
        // The first of the setting registers (R + Q); the register writer counts from it.
        unsigned window = 0;
    };
    Registers registers_;
    // Image of the control register: the acquisition bits, the software start and setting fields.
    RegisterImage control_;

    SettingFactory settingFactory_{*this, settings_};
    CameraSettings cameraSettings_;
    std::unique_ptr<ModuleIccd> module_;

private:
    void switchOffForSettings() override;
    // Also signals the stopped event.
    void switchOffForStop() override;
    void switchOn() override;
    // Drops the raw frames taken with the old settings.
    void settingsWritten() override;
    // Reads the next slot's frame, slots strictly in turn.
    void inputStep() override;
    void updateTemperatures();

    int currentSlot_ = 0;  // camera thread
    // The temperatures last shown, so that observers hear only of changes (-1: none shown yet).
    int shownSensorTemperature_ = -1;
    int shownCameraTemperature_ = -1;
    std::chrono::steady_clock::time_point nextTemperatureRead_{};  // camera thread
};

}  // namespace ZmCoreLib_v4
