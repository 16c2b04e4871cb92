// Family B cameras (DeviceSonyIcx285B, DeviceKodak): 12-bit pixels packed four into six bytes,
// FPGA frame slots read strictly in turn (two or four), a frame tag that tells the two frames of
// the two-frame mode apart, sensor and camera temperatures, and a software start.
//
// The family is mechanism and its models are data: a model hands its description to the
// family's constructor. This file pair holds bring-up and the frame path (the family's part of
// the camera step, and the repack step); devicetypeb_settings.cpp holds the settings list, the
// coupling of a changed setting and the register writer.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <span>
#include <string>

#include "core/settingfactory.h"
#include "devices/camerasettings.h"
#include "devices/device.h"
#include "devices/modeldescription.h"

namespace ZmCoreLib_v4 {

// A readout channel a camera reports (the low byte of its channel register): it sets the pixel
// clock and names the camera.
struct ReadoutChannel {
    unsigned channel;
    double pixelClockMhz;
    const char16_t* name;
};

// What a family B model sets on the family's settings after bring-up.
struct TypeBStart {
    int maxBinning;
    int maxFramePeriodMs;
    int framePeriodMs;
    int maxExposureMs;
    int exposureMs;
    std::span<const EnumItem> inputModes;  // the first one is chosen
    std::array<int, 4> analogFrontEnd;     // SHP, SHD, data and SHD sampling delays, нс
};

struct TypeBDescription {
    ModelDescription model;
    // The camera sends 12-bit pixels packed four into six bytes (every family B model does).
    bool packed = true;
    // Read after bring-up where given: the channel the camera reports names it (a channel not
    // listed leaves the name empty).
    std::span<const ReadoutChannel> channels = {};
    // Null: the family's settings keep their family values (the model shapes them itself).
    const TypeBStart* start = nullptr;
};

class DeviceTypeB : public Device {
public:
    ~DeviceTypeB() override;

    // Client thread: one software start pulse, under the camera lock so it never falls inside a
    // camera step.
    void SoftwareStart() override;
    // Repack thread, under the repack lock: 12-bit unpacking and rotation into the output buffer.
    void RepackStep() override;

protected:
    // Builds the family's settings, brings the camera up (LoadConfiguration), reads its readout
    // channel, shows its identity and sets the model's start on the settings, on the constructing
    // thread.
    DeviceTypeB(std::unique_ptr<IHwLayer> layer, const TypeBDescription& description);

private:
    // Bring-up: as family A, with family B's module registers.
    void LoadConfiguration(const std::string& file);
    // The name of the channel the camera reports, with its pixel clock set; null when the channel
    // is not listed.
    const char16_t* readChannel(std::span<const ReadoutChannel> channels);

    // --- devicetypeb_settings.cpp
    // Builds the family's settings, in list order, into cameraSettings_.
    void buildSettings();
    // Appends binning and the temperature texts (the sensor's only when it reports it), and sets
    // the frame period, exposure, geometry, input modes and analog front end, in that order.
    void applyStart(const TypeBStart& start);
    void coupleSettings(unsigned settingId) override;
    // Also sets the raw frame tag for the input mode.
    void writePendingSettings() override;

    void switchOffForSettings() override;
    // Also signals the stopped event.
    void switchOffForStop() override;
    void switchOn() override;
    // Drops the raw frames taken with the old settings.
    void settingsWritten() override;
    // Reads the next slot's frame, slots strictly in turn.
    void inputStep() override;
    // The frame period (or a longer exposure) in the single-frame modes while the camera's own
    // timer starts frames and exposures.
    std::optional<std::chrono::microseconds> ownFrameInterval() const override;
    void updateTemperatures();
    // None when the frame of `slot` is not ready; else the frame, the transfer-length register
    // read for it.
    std::optional<ReadyFrame> readyFrame(int slot);

    const bool packed_;
    // 0, or 1 and 2 alternating in the two-frame mode; the camera thread tags raw frames with it.
    int rawFrameTag_ = 0;
    unsigned temperatureRegister_ = 0;
    int currentSlot_ = 0;  // camera thread
    // The temperatures last shown, so that observers hear only of changes (-1: none shown yet).
    int shownSensorTemperature_ = -1;
    int shownCameraTemperature_ = -1;
    std::chrono::steady_clock::time_point nextTemperatureRead_{};  // camera thread
};

}  // namespace ZmCoreLib_v4
