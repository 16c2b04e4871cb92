// Family A: the settings list, the coupling of a changed setting to others (Check) and the
// register writer that turns pending changes into register writes.
#include <cstdint>
#include <initializer_list>

#include "devices/devicetypea.h"
#include "devices/registerwriter.h"
#include "devices/settingids.h"
#include "devices/settingrules.h"
#include "devices/timewords.h"
#include "hardware/registers/familya.h"
#include "hardware/registers/frontend.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;

// Family A timers count microseconds.
constexpr double kTimerClockMhz = 1;

using namespace registers::familya;
namespace frontend = registers::frontend;

void writeTime(IHwLayer& layer, unsigned address, SettingScalar* time) {
    if (time == nullptr) return;
    time->MarkWritten();
    layer.WriteRegister(address, timeWordA(time->GetWrittenIn(kUnitNanosecond)));
}

// The frame mode times frames by the exposure, the line mode by the chronogram start; the other
// of the two has no effect and is shown disabled.
void enableForInputMode(CameraSettings& s) {
    if (s.inputMode == nullptr) return;
    const int mode = s.inputMode->GetValue();
    if (s.exposure != nullptr) s.exposure->setEnabled(mode == ids::kModeFrame);
    if (s.chronogramStart != nullptr) s.chronogramStart->setEnabled(mode == ids::kModeLine);
}

// The input mode (as the low byte of its value id) with the chronogram start.
void writeChronogram(IHwLayer& layer, unsigned address, const CameraSettings& s) {
    if (s.chronogramStart == nullptr) return;
    const int mode = s.inputMode != nullptr ? s.inputMode->GetValue() : 0;
    const auto lines = static_cast<unsigned>(s.chronogramStart->GetValueIn(ZmCoreLib::kUnitLine));
    writeCount16(layer, address, static_cast<std::uint8_t>(mode), lines);
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
    addInformationTexts(f, s);
    s.framePeriod = f.addScalar(ids::kFramePeriod, {.units = kTimeUnits,
                                                    .min = 10,
                                                    .minUnit = kUnitMillisecond,
                                                    .max = 1000,
                                                    .maxUnit = kUnitMillisecond,
                                                    .displayUnit = kUnitMillisecond,
                                                    .value = 1000});
    s.exposure = f.addScalar(ids::kExposure, {.units = kTimeUnits});
    addGain(f, s);
    addGeometry(f, s);
    s.inputSource =
        f.addEnum(ids::kInputSource, {{ids::kSourceInternalGenerator, 0}, {ids::kSourceExternalTtl, 1}},
                  ids::kSourceInternalGenerator);
    s.inputEvent = f.addEnum(ids::kInputEvent, {{ids::kEventHighLevel, 0}, {ids::kEventLowLevel, 1}},
                             ids::kEventHighLevel);
}

void DeviceTypeA::applyStart(const TypeAStart& start) {
    CameraSettings& s = cameraSettings_;
    SettingFactory& f = settingFactory_;
    shapeScalar(*s.framePeriod, start.framePeriod);
    shapeScalar(*s.exposure, start.exposure);
    shapeGeometry(s, start.frameWidthPx, start.frameHeightPx);
    if (start.maxBinning > 0) addBinning(f, s, start.maxBinning);
    if (const LineScan* line = start.lineScan) {
        s.inputMode = f.addEnum(ids::kInputMode, line->inputModes, line->inputModes.begin()->valueId);
        s.linePeriod = f.addScalar(ids::kLinePeriod, line->linePeriod);
        s.chronogramStart = f.addScalar(ids::kChronogramStart, line->chronogramStart);
        s.syncOutputs = f.addEnum(ids::kSyncOutputs, line->syncOutputs, line->syncOutputs.begin()->valueId);
        enableForInputMode(s);
    }
}

void DeviceTypeA::coupleSettings(unsigned settingId) {
    CameraSettings& s = cameraSettings_;
    if (coupleSharedSettings(s, settingId, kTimerClockMhz)) return;
    switch (settingId) {
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
        default:
            if (module_) module_->SettingChanged(settingId);
            break;
    }
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
                writeFrontEnd(layer, frontend::kDataDelay, frontend::kFamilyAValue);
                writeFrontEnd(layer, frontend::kGain, static_cast<std::uint8_t>(registerCode(s.gain)));
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
                    writeCount16(layer, window + kLinePeriodOffset, 0, clocks);
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
