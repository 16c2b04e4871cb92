// What each camera board is: its frame format, geometry, slots and the FPGA configuration it
// works with. A camera's board follows from the USB identity it shows; the table mirrors the
// product ids the camera library recognises.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace simulator {

enum class Family {
    A,  // 16-bit pixels, most significant byte first
    B,  // 12-bit pixels packed four into six bytes; temperature register; binning in control bits
};

struct HardwareModel {
    std::string_view name;
    Family family;
    bool fibreOptic;                     // register window at offset 96 instead of 0
    std::string_view configurationFile;  // bare file name ("zmu2120.bit"); empty: none fits
    bool probeOnly;                      // answers only the probe (type word), makes no frames
    int sensorWidth;                     // full sensor in pixels
    int sensorHeight;
    int defaultWidth;  // region after power-up
    int defaultHeight;
    int slotCount;         // frame slots in FPGA memory
    double timerClockMHz;  // tick rate of family B time words
    std::uint32_t defaultFramePeriodUs;
    std::uint32_t defaultExposureUs;
};

// The board behind a USB identity, or null when the identity selects none (boot identities,
// unknown product ids): such a camera's FPGA never works.
const HardwareModel* hardwareModelFor(std::uint16_t productId, std::uint16_t release);

// The probe configuration every board accepts for answering its type word.
inline constexpr std::string_view kProbeConfigurationFile = "zmu0100.bit";

// A stand-in FPGA configuration file the build makes.
struct ConfigurationFileSpec {
    std::string_view fileName;
    std::uint32_t size;       // bytes, as a real bitstream for the board's FPGA would have
    std::string_view boards;  // which cameras it is for, written into the file's header
};
std::span<const ConfigurationFileSpec> configurationFiles();

}  // namespace simulator
