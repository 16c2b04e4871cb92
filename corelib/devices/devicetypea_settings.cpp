// Family A: the settings list, the coupling of a changed setting to others (Check) and the
// register writer that turns pending changes into register writes.
#include <array>
#include <cstdint>
#include <initializer_list>

#include "devices/devicetypea.h"
#include "devices/settingids.h"
#include "devices/settingrules.h"
#include "devices/timewords.h"
#include "hardware/registers/familya.h"
#include "hardware/registers/frontend.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;
using ZmCoreLib::kUnitPixel;

// The setting side waits this many tries for the command buffer.
constexpr int kCheckLockTries = 1000;
// Family A timers count microseconds.
constexpr double kTimerClockMhz = 1;

using namespace registers::familya;
namespace frontend = registers::frontend;

const std::initializer_list<int> kTimeUnits = {kUnitNanosecond, kUnitMicrosecond, kUnitMillisecond};

void writeBytes(IHwLayer& layer, unsigned address, std::initializer_list<std::uint8_t> bytes) {
    layer.VendorWrite(0, address, bytes.begin(), static_cast<int>(bytes.size()));
}

std::uint8_t highByte(unsigned value) {
    return static_cast<std::uint8_t>(value >> 8);
}
std::uint8_t lowByte(unsigned value) {
    return static_cast<std::uint8_t>(value);
}

int registerCode(const SettingEnum* setting) {
    return setting != nullptr ? setting->GetRegisterCode() : 0;
}

void writeTime(IHwLayer& layer, unsigned address, SettingScalar* time) {
    if (time == nullptr) return;
    time->MarkWritten();
    layer.WriteRegister(address, timeWordA(time->GetWrittenIn(kUnitNanosecond)));
}

// Position or size: the pair of settings in one word, scaled to sensor pixels by the binning the
// camera holds, so that the frame the camera reads out is the one the written size says.
void writeGeometry(IHwLayer& layer, unsigned address, SettingScalar* first, SettingScalar* second,
                   const CameraSettings& s) {
    markWritten(first);
    markWritten(second);
    layer.WriteRegister(
        address, geometryWord(writtenPixels(first), writtenPixels(second), writtenBinningFactor(s.binningX),
                              writtenBinningFactor(s.binningY)));
}

// The frame mode times frames by the exposure, the line mode by the chronogram start; the other
// of the two has no effect and is shown disabled.
void enableForInputMode(CameraSettings& s) {
    if (s.inputMode == nullptr) return;
    const int mode = s.inputMode->GetValue();
    if (s.exposure != nullptr) s.exposure->SetEnabled(mode == ids::kModeFrame);
    if (s.chronogramStart != nullptr) s.chronogramStart->SetEnabled(mode == ids::kModeLine);
}

// The input mode (as the low byte of its value id) with the chronogram start.
void writeChronogram(IHwLayer& layer, unsigned address, const CameraSettings& s) {
    if (s.chronogramStart == nullptr) return;
    const int mode = s.inputMode != nullptr ? s.inputMode->GetValue() : 0;
    const auto lines = static_cast<unsigned>(s.chronogramStart->GetValueIn(ZmCoreLib::kUnitLine));
    writeBytes(layer, address, {lowByte(static_cast<unsigned>(mode)), highByte(lines), lowByte(lines)});
}

// The input source's code reaches into bit 7, which the input event shares: the camera takes
// the two or-ed. The outputs bit is the camera's own where the model has no such setting.
void writeSynchronisation(RegisterImage& synchronisation, const CameraSettings& s) {
    const FieldValue source{kSyncInputSource, registerCode(s.inputSource)};
    const FieldValue event{kSyncInputEvent, registerCode(s.inputEvent)};
    if (s.syncOutputs != nullptr) {
        synchronisation.setFields({source, event, {kSyncOutputs, registerCode(s.syncOutputs)}});
    } else {
        synchronisation.setFields({source, event});
    }
}

}  // namespace

void DeviceTypeA::buildSettings() {
    CameraSettings& s = cameraSettings_;
    SettingFactory& f = settingFactory_;
    s.name = f.addString(ids::kCameraName);
    s.version = f.addString(ids::kCameraVersion);
    s.interfaceName = f.addString(ids::kCameraInterface);
    s.serial = f.addString(ids::kCameraSerial);
    s.intensifierSerial = f.addString(ids::kIntensifierSerial);
    s.transferRate = f.addString(ids::kTransferRate);
    s.framePeriod = f.addScalar(ids::kFramePeriod, {.units = kTimeUnits,
                                                    .min = 10,
                                                    .max = 1000,
                                                    .rangeUnit = kUnitMillisecond,
                                                    .displayUnit = kUnitMillisecond,
                                                    .value = 1000});
    s.exposure = f.addScalar(ids::kExposure, {.units = kTimeUnits});
    s.gain = f.addEnum(ids::kGain,
                       {{ids::kGain0dB, 0}, {ids::kGain6dB, 1}, {ids::kGain12dB, 2}, {ids::kGain18dB, 3}},
                       ids::kGain0dB);
    s.x = f.addScalar(ids::kFrameX, {.units = {kUnitPixel}});
    s.y = f.addScalar(ids::kFrameY, {.units = {kUnitPixel}});
    s.width = f.addScalar(ids::kFrameWidth, {.units = {kUnitPixel}});
    s.height = f.addScalar(ids::kFrameHeight, {.units = {kUnitPixel}});
    s.inputSource =
        f.addEnum(ids::kInputSource, {{ids::kSourceInternalGenerator, 0}, {ids::kSourceExternalTtl, 1}},
                  ids::kSourceInternalGenerator);
    s.inputEvent = f.addEnum(ids::kInputEvent, {{ids::kEventHighLevel, 0}, {ids::kEventLowLevel, 1}},
                             ids::kEventHighLevel);
}

int DeviceTypeA::Check(unsigned settingId) {
    // After failed tries the change is queued all the same; only a lock that was taken is given back.
    const bool locked = commandBuffer_.Lock(CommandBuffer::kSetterClass, kCheckLockTries);
    CameraSettings& s = cameraSettings_;
    switch (settingId) {
        case ids::kFramePeriod:
            quantizeToTimerGrid(s.framePeriod, kTimerClockMhz);
            lowerToSetting(s.exposure, s.framePeriod);
            break;
        case ids::kExposure:
            quantizeToTimerGrid(s.exposure, kTimerClockMhz);
            raiseToSetting(s.framePeriod, s.exposure);
            break;
        case ids::kFrameX:
        case ids::kFrameY:
        case ids::kFrameWidth:
        case ids::kFrameHeight:
            raiseToSetting(s.framePeriod, s.exposure);
            break;
        case ids::kInputMode:
            raiseToSetting(s.framePeriod, s.exposure);
            if (module_ && s.inputMode != nullptr) {
                module_->SetSecondPulseEnabled(s.inputMode->GetValue() == ids::kModeTwoFrames);
            }
            break;
        case ids::kBinningX:
            applyBinning(s.binningX, s.x, s.width, s.sensor.widthPx);
            break;
        case ids::kBinningY:
            applyBinning(s.binningY, s.y, s.height, s.sensor.heightPx);
            break;
        default:
            if (module_) module_->SettingChanged(settingId);
            break;
    }
    commandBuffer_.Push(static_cast<int>(settingId));
    if (locked) commandBuffer_.Unlock();
    return 0;
}

void DeviceTypeA::writePendingSettings() {
    CameraSettings& s = cameraSettings_;
    IHwLayer& layer = hw();
    const unsigned window = registers_.window;
    // Position and size count sensor pixels by the binning: they are written once, after every
    // other row, so that they follow a binning of the same batch whatever order it came in.
    bool positionDue = false;
    bool sizeDue = false;
    while (const int popped = commandBuffer_.Pop()) {
        const auto id = static_cast<unsigned>(popped);
        switch (id) {
            case ids::kFramePeriod:
                writeTime(layer, window + kFramePeriodOffset, s.framePeriod);
                break;
            case ids::kExposure:
                writeTime(layer, window + kExposureOffset, s.exposure);
                break;
            case ids::kGain:
                writeBytes(layer, frontend::kDataDelay.address,
                           {frontend::kDataDelay.number, frontend::kFamilyAValue});
                writeBytes(layer, frontend::kGain.address,
                           {frontend::kGain.number, static_cast<std::uint8_t>(registerCode(s.gain))});
                break;
            case ids::kBinningX:
            case ids::kBinningY: {
                markWritten(s.binningX);
                markWritten(s.binningY);
                const auto minusOne = [](const SettingScalar* binning) {
                    return static_cast<std::uint8_t>(writtenBinningFactor(binning) - 1);
                };
                writeBytes(layer, window + kBinningOffset, {0, minusOne(s.binningX), minusOne(s.binningY)});
                positionDue = true;
                sizeDue = true;
                break;
            }
            case ids::kFrameX:
            case ids::kFrameY:
                positionDue = true;
                break;
            case ids::kFrameWidth:
            case ids::kFrameHeight:
                sizeDue = true;
                break;
            case ids::kChronogramStart:
                enableForInputMode(s);
                writeChronogram(layer, window + kChronogramOffset, s);
                break;
            case ids::kLinePeriod:
                if (s.linePeriod != nullptr) {
                    s.linePeriod->MarkWritten();
                    const unsigned clocks = linePeriodWord(s.linePeriod->GetWrittenIn(kUnitNanosecond));
                    writeBytes(layer, window + kLinePeriodOffset, {0, highByte(clocks), lowByte(clocks)});
                }
                break;
            case ids::kInputMode:
                enableForInputMode(s);
                [[fallthrough]];
            case ids::kSyncOutputs:
            case ids::kInputSource:
            case ids::kInputEvent:
                writeChronogram(layer, window + kChronogramOffset, s);
                writeSynchronisation(synchronisation_, s);
                break;
            default:
                if (module_) module_->Apply(id);
                break;
        }
    }
    if (positionDue) writeGeometry(layer, window + kPositionOffset, s.x, s.y, s);
    if (sizeDue) writeGeometry(layer, window + kSizeOffset, s.width, s.height, s);
}

}  // namespace ZmCoreLib_v4
