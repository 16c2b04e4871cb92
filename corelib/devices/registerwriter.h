// What both families' register writers share: the writes of bytes to a register, the front end's
// register writes, and the settings' written side (what the camera was last given).
//
// Threads: the camera thread, inside its step, with the acquisition switched off and the command
// buffer held by the writer.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "devices/camerasettings.h"
#include "hardware/hwlayer.h"
#include "hardware/registers/frontend.h"

namespace ZmCoreLib_v4 {

// A vendor request carrying `bytes` to `address`.
void writeBytes(IHwLayer& layer, unsigned address, std::initializer_list<std::uint8_t> bytes);
// The front end's register number, then `value`.
void writeFrontEnd(IHwLayer& layer, const registers::frontend::Register& target, std::uint8_t value);
// `lead`, then the low 16 bits of `count`, most significant byte first.
void writeCount16(IHwLayer& layer, unsigned address, std::uint8_t lead, unsigned count);

// The register code of the enumeration's value; 0 where the model has no such setting.
int registerCode(const SettingEnum* setting);

// Marks the present value as the one the camera gets (where the model has the setting), and
// reads back the pixels marked (0 where it has none).
void markWritten(SettingScalar* setting);
int writtenPixels(const SettingScalar* setting);

// The binning factor the camera was last given: the setting's written value where the setting
// exists and that value is not 0, else 1 (a camera not yet given a binning does not bin).
int writtenBinningFactor(const SettingScalar* binning);

// Position or size: the pair of settings in one word, scaled to sensor pixels by the binning the
// camera holds, so that the frame the camera reads out is the one the written size says.
void writeGeometry(IHwLayer& layer, unsigned address, SettingScalar* first, SettingScalar* second,
                   const CameraSettings& settings);

}  // namespace ZmCoreLib_v4
