// Family A cameras (DeviceMT9M032, DeviceDalsaFT50, DeviceSonyIcx285): 16-bit big-endian pixels,
// four FPGA frame slots of which the camera thread always reads the newest, a control and a
// synchronisation register that switch the acquisition.
//
// The family is mechanism and its models are data: a model hands its description to the
// family's constructor. This file pair holds bring-up and the frame path (the family's part of
// the camera step, and the repack step); devicetypea_settings.cpp holds the settings list, the
// coupling of a changed setting and the register writer.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "core/settingfactory.h"
#include "devices/camerasettings.h"
#include "devices/device.h"
#include "devices/modeldescription.h"

namespace ZmCoreLib_v4 {

// The frame and line input modes of a line-scan capable model, with what the line mode uses.
struct LineScan {
    std::initializer_list<EnumItem> inputModes;  // the first one is chosen
    ScalarShape linePeriod;
    ScalarShape chronogramStart;
    std::initializer_list<EnumItem> syncOutputs;  // the first one is chosen
};

// What a family A model sets on the family's settings after bring-up.
struct TypeAStart {
    ScalarShape framePeriod;
    ScalarShape exposure;
    // The frame offered at start, which may be narrower than the sensor.
    int frameWidthPx;
    int frameHeightPx;
    int maxBinning = 0;  // 0: no binning
    const LineScan* lineScan = nullptr;
};

struct TypeADescription {
    ModelDescription model;
    // Null: the family's settings keep their family values (the model shapes them itself).
    const TypeAStart* start = nullptr;
};

class DeviceTypeA : public Device {
public:
    ~DeviceTypeA() override;

    // Repack thread, under the repack lock: byte order and rotation into the output buffer.
    void RepackStep() override;

protected:
    // Builds the family's settings, brings the camera up (LoadConfiguration), shows its identity
    // and sets the model's start on the settings, on the constructing thread.
    DeviceTypeA(std::unique_ptr<IHwLayer> layer, const TypeADescription& description);

private:
    // Bring-up: computes the family's register addresses, loads the FPGA configuration `file` (a
    // file that cannot be opened is skipped), shows the camera's version and builds the
    // intensifier module if one answers.
    void LoadConfiguration(const std::string& file);

    // --- devicetypea_settings.cpp
    // Builds the family's settings, in list order, into cameraSettings_.
    void buildSettings();
    // Shapes the family's settings and appends the model's own, after bring-up.
    void applyStart(const TypeAStart& start);
    void coupleSettings(unsigned settingId) override;
    void writePendingSettings() override;

    void switchOffForSettings() override;
    void switchOffForStop() override;
    void switchOn() override;
    // Reads the newest frame the FPGA holds; older ones are dropped.
    void inputStep() override;
    // The frame period (or a longer exposure) while the camera's own generator starts frames.
    std::optional<std::chrono::microseconds> ownFrameInterval() const override;

    static constexpr int kNoSlot = -1;
    // From `slot` on: none when its frame is not ready; otherwise, with the transfer-length
    // register read, the newest ready frame, the older ones acknowledged unread, never skipping
    // onto `busySlot` (the slot being read, or kNoSlot).
    std::optional<ReadyFrame> newestReadyFrame(int slot, int busySlot);

    // Image of the synchronisation register, whose other bits carry the trigger settings.
    RegisterImage synchronisation_;
    int currentSlot_ = 0;  // camera thread
};

}  // namespace ZmCoreLib_v4
