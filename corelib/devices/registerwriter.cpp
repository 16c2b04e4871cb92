#include "devices/registerwriter.h"

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

void writeBytes(IHwLayer& layer, unsigned address, std::initializer_list<std::uint8_t> bytes) {
    layer.VendorWrite(0, address, bytes.begin(), static_cast<int>(bytes.size()));
}

void writeFrontEnd(IHwLayer& layer, const registers::frontend::Register& target, std::uint8_t value) {
    writeBytes(layer, target.address, {target.number, value});
}

void writeCount16(IHwLayer& layer, unsigned address, std::uint8_t lead, unsigned count) {
    writeBytes(layer, address,
               {lead, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)});
}

int registerCode(const SettingEnum* setting) {
    return setting != nullptr ? setting->GetRegisterCode() : 0;
}

void markWritten(SettingScalar* setting) {
    if (setting != nullptr) setting->MarkWritten();
}

int writtenPixels(const SettingScalar* setting) {
    return setting != nullptr ? static_cast<int>(setting->GetWrittenIn(ZmCoreLib::kUnitPixel)) : 0;
}

int writtenBinningFactor(const SettingScalar* binning) {
    if (binning == nullptr) return 1;
    const auto factor = static_cast<int>(binning->GetWrittenIn(ZmCoreLib::kUnitPixel));
    return factor != 0 ? factor : 1;
}

void writeGeometry(IHwLayer& layer, unsigned address, SettingScalar* first, SettingScalar* second,
                   const CameraSettings& settings) {
    markWritten(first);
    markWritten(second);
    layer.WriteRegister(address, geometryWord(writtenPixels(first), writtenPixels(second),
                                              writtenBinningFactor(settings.binningX),
                                              writtenBinningFactor(settings.binningY)));
}

}  // namespace ZmCoreLib_v4
