// Family B: the settings list, the coupling of a changed setting to others (Check) and the
// register writer that turns pending changes into register writes.
#include <cstdint>
#include <initializer_list>

#include "devices/devicetypeb.h"
#include "devices/registerwriter.h"
#include "devices/settingids.h"
#include "devices/settingrules.h"
#include "devices/timewords.h"
#include "hardware/registers/familyb.h"
#include "hardware/registers/frontend.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitFrame;
using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;

using namespace registers::familyb;
namespace frontend = registers::frontend;

std::int64_t valueIn(const SettingScalar* setting, int unitId) {
    return setting != nullptr ? setting->GetValueIn(unitId) : 0;
}

// The exposure is at least 1 мкс and counts from there.
constexpr int kExposureReferenceUs = 1;

// The analog front end's delays count in steps of the setting.
std::uint8_t frontEndDelay(const SettingScalar* delay) {
    if (delay == nullptr) return 0;
    const std::int64_t stepNs = delay->GetStepIn(kUnitNanosecond);
    const std::int64_t valueNs = delay->GetValueIn(kUnitNanosecond) & frontend::kDelayMask;
    return static_cast<std::uint8_t>(stepNs > 0 ? valueNs / stepNs : valueNs);
}

}  // namespace

void DeviceTypeB::buildSettings() {
    CameraSettings& s = cameraSettings_;
    SettingFactory& f = settingFactory_;
    addInformationTexts(f, s);
    s.framePeriod = f.addScalar(ids::kFramePeriod, {.units = kTimeUnits,
                                                    .min = 10,
                                                    .minUnit = kUnitMillisecond,
                                                    .max = 1000000,
                                                    .maxUnit = kUnitMillisecond,
                                                    .displayUnit = kUnitMillisecond,
                                                    .value = 500});
    s.multiExposurePeriod = f.addScalar(ids::kMultiExposurePeriod, {.units = kTimeUnits,
                                                                    .min = 10,
                                                                    .minUnit = kUnitMicrosecond,
                                                                    .max = 1000000,
                                                                    .maxUnit = kUnitMicrosecond,
                                                                    .displayUnit = kUnitMicrosecond,
                                                                    .value = 100});
    s.exposure = f.addScalar(ids::kExposure, {.units = kTimeUnits});
    addGain(f, s);
    s.shpDelay = f.addScalar(ids::kShpDelay, {.units = {kUnitNanosecond}, .min = 0, .max = 7, .value = 0});
    s.shdDelay = f.addScalar(ids::kShdDelay, {.units = {kUnitNanosecond}, .min = 0, .max = 7, .value = 0});
    s.dataDelay =
        f.addScalar(ids::kDataDelay, {.units = {kUnitNanosecond}, .min = 0, .max = 6, .step = 2, .value = 0});
    s.shdSamplingDelay = f.addScalar(ids::kShdSamplingDelay,
                                     {.units = {kUnitNanosecond}, .min = 0, .max = 2, .step = 2, .value = 0});
    addGeometry(f, s);
    s.inputMode = f.addEnum(ids::kInputMode, {}, std::nullopt);
    s.exposureStartDelay =
        f.addScalar(ids::kExposureStartDelay, {.units = kTimeUnits, .min = 0, .max = 1000000000, .value = 0});
    s.inputSource = f.addEnum(
        ids::kInputSource,
        {{ids::kSourceInternalGenerator, 0}, {ids::kSourceExternalTtl, 1}, {ids::kSourceSoftware, 3}},
        ids::kSourceInternalGenerator);
    s.inputEvent = f.addEnum(ids::kInputEvent, {{ids::kEventHighLevel, 0}, {ids::kEventLowLevel, 1}},
                             ids::kEventHighLevel);
    s.exposureSource =
        f.addEnum(ids::kExposureSource, {{ids::kSourceInternalGenerator, 0}, {ids::kSourceExternalTtl, 2}},
                  ids::kSourceInternalGenerator);
    s.exposureEvent = f.addEnum(ids::kExposureEvent, {{ids::kEventHighLevel, 0}, {ids::kEventLowLevel, 1}},
                                ids::kEventHighLevel);
    s.framesPerStart =
        f.addScalar(ids::kFramesPerStart, {.units = {kUnitFrame}, .min = 1, .max = 1000000, .value = 10});
    s.illuminationPulse =
        f.addScalar(ids::kIlluminationPulse,
                    {.units = {kUnitMicrosecond, kUnitMillisecond}, .min = 10, .max = 10000, .value = 10});
}

void DeviceTypeB::applyStart(const TypeBStart& start) {
    CameraSettings& s = cameraSettings_;
    addBinning(settingFactory_, s, start.maxBinning);
    // The frame period covers at least the sensor readout, which depends on the binning.
    shapeScalar(*s.framePeriod, {.min = readoutTimeMs(s),
                                 .minUnit = kUnitMillisecond,
                                 .max = start.maxFramePeriodMs,
                                 .maxUnit = kUnitMillisecond,
                                 .displayUnit = kUnitMillisecond,
                                 .value = start.framePeriodMs});
    s.exposure->SetReference(kExposureReferenceUs, kUnitMicrosecond);
    shapeScalar(*s.exposure, {.min = kExposureReferenceUs,
                              .minUnit = kUnitMicrosecond,
                              .max = start.maxExposureMs,
                              .maxUnit = kUnitMillisecond,
                              .displayUnit = kUnitMillisecond,
                              .value = start.exposureMs});
    shapeGeometry(s, s.sensor.widthPx, s.sensor.heightPx);

    for (const EnumItem& mode : start.inputModes) s.inputMode->AddItem(mode.valueId, mode.registerCode);
    s.inputMode->SetValue(start.inputModes.front().valueId);

    s.cameraTemperature = settingFactory_.addString(ids::kCameraTemperature);
    if (sensorTemperature_) s.sensorTemperature = settingFactory_.addString(ids::kSensorTemperature);

    SettingScalar* const analogFrontEnd[] = {s.shpDelay, s.shdDelay, s.dataDelay, s.shdSamplingDelay};
    for (std::size_t i = 0; i < start.analogFrontEnd.size(); ++i)
        analogFrontEnd[i]->SetValue(start.analogFrontEnd[i]);
}

void DeviceTypeB::coupleSettings(unsigned settingId) {
    CameraSettings& s = cameraSettings_;
    const double clockMhz = s.sensor.timerClockMhz;
    if (coupleSharedSettings(s, settingId, clockMhz)) return;
    switch (settingId) {
        case ids::kExposure:
            quantizeToTimerGrid(s.exposure, clockMhz);
            applyMinimumFramePeriod(s);
            break;
        case ids::kMultiExposurePeriod:
            quantizeToTimerGrid(s.multiExposurePeriod, clockMhz);
            break;
        case ids::kFrameX:
        case ids::kFrameY:
        case ids::kFrameWidth:
        case ids::kFrameHeight:
        // The multi-frame mode's minimum period counts the frames of one start.
        case ids::kFramesPerStart:
            applyMinimumFramePeriod(s);
            break;
        case ids::kInputMode: {
            const bool multiFrame = s.inputMode->GetValue() == ids::kModeMultiFrame;
            if (s.multiExposurePeriod != nullptr) s.multiExposurePeriod->setEnabled(multiFrame);
            if (s.framesPerStart != nullptr) s.framesPerStart->setEnabled(multiFrame);
            applyMinimumFramePeriod(s);
            break;
        }
        default:
            if (module_) module_->SettingChanged(settingId);
            break;
    }
}

void DeviceTypeB::writePendingSettings() {
    CameraSettings& s = cameraSettings_;
    IHwLayer& layer = hw();
    const unsigned window = registers_.window;
    const double clockMhz = s.sensor.timerClockMhz;
    // The word comes from the whole value in the unit shown: a long time in a fine unit exceeds
    // the int the client interface reports, which saturates.
    const auto writeTime = [&](unsigned offset, SettingScalar* time, bool isFramePeriod) {
        if (time == nullptr) return;
        time->MarkWritten();
        const int unit = time->GetUnit();
        layer.WriteRegister(window + offset, timeWordB(time->GetWrittenIn(unit), time->GetReference(), unit,
                                                       clockMhz, isFramePeriod));
    };
    // Position and size count sensor pixels by the binning: they are written once, after every
    // other row, so that they follow a binning of the same batch whatever order it came in.
    bool positionDue = false;
    bool sizeDue = false;
    while (const int popped = commandBuffer_.Pop()) {
        const auto id = static_cast<unsigned>(popped);
        switch (id) {
            case ids::kFramePeriod:
                writeTime(kFramePeriodOffset, s.framePeriod, true);
                break;
            case ids::kMultiExposurePeriod:
                writeTime(kMultiExposurePeriodOffset, s.multiExposurePeriod, false);
                break;
            case ids::kExposure:
                writeTime(kExposureOffset, s.exposure, false);
                break;
            case ids::kIlluminationPulse:
                writeTime(kIlluminationPulseOffset, s.illuminationPulse, false);
                break;
            case ids::kExposureStartDelay:
                // No delay as its time word says it: a value of 0 in the unit shown.
                writeTime(kExposureStartDelayOffset, s.exposureStartDelay, false);
                if (s.exposureStartDelay != nullptr) {
                    SettingScalar& delay = *s.exposureStartDelay;
                    control_.setFieldsQuietly(
                        {{registers::familyb::kNoExposureDelay, delay.GetWrittenIn(delay.GetUnit()) == 0}});
                }
                break;
            case ids::kGain:
            case ids::kDataDelay:
            case ids::kShdSamplingDelay:
                writeFrontEnd(layer, frontend::kDataDelay, frontEndDelay(s.dataDelay));
                writeFrontEnd(layer, frontend::kSamplingDelay, frontEndDelay(s.shdSamplingDelay));
                writeFrontEnd(layer, frontend::kGain, static_cast<std::uint8_t>(registerCode(s.gain)));
                break;
            case ids::kFrameX:
            case ids::kFrameY:
                positionDue = true;
                break;
            case ids::kFrameWidth:
            case ids::kFrameHeight:
                sizeDue = true;
                break;
            case ids::kFramesPerStart: {
                const auto frames =
                    static_cast<unsigned>(saturateToSixteenBits(valueIn(s.framesPerStart, kUnitFrame)));
                writeCount16(layer, window + kFramesPerStartOffset, 0, frames);
                break;
            }
            case ids::kBinningX:
            case ids::kBinningY:
                markWritten(s.binningX);
                markWritten(s.binningY);
                control_.setFieldsQuietly(
                    {{registers::familyb::kBinningX, writtenBinningFactor(s.binningX) - 1},
                     {registers::familyb::kBinningY, writtenBinningFactor(s.binningY) - 1}});
                positionDue = true;
                sizeDue = true;
                break;
            case ids::kShpDelay:
            case ids::kShdDelay:
                control_.setFieldsQuietly(
                    {{registers::familyb::kShpDelay, valueIn(s.shpDelay, kUnitNanosecond)},
                     {registers::familyb::kShdDelay, valueIn(s.shdDelay, kUnitNanosecond)}});
                break;
            case ids::kInputMode:
                control_.setFieldsQuietly({{registers::familyb::kInputMode, registerCode(s.inputMode)}});
                break;
            case ids::kInputSource:
                control_.setFieldsQuietly({{registers::familyb::kInputSource, registerCode(s.inputSource)}});
                break;
            case ids::kInputEvent:
                control_.setFieldsQuietly({{registers::familyb::kInputEvent, registerCode(s.inputEvent)}});
                break;
            case ids::kExposureSource:
                control_.setFieldsQuietly(
                    {{registers::familyb::kExposureSource, registerCode(s.exposureSource)}});
                break;
            case ids::kExposureEvent:
                control_.setFieldsQuietly(
                    {{registers::familyb::kExposureEvent, registerCode(s.exposureEvent)}});
                break;
            default:
                if (module_) module_->Apply(id);
                break;
        }
    }
    if (positionDue) writeGeometry(layer, window + kPositionOffset, s.x, s.y, s);
    if (sizeDue) writeGeometry(layer, window + kSizeOffset, s.width, s.height, s);
    // The two-frame mode tells its frames apart: the next raw frame is the first of a pair.
    const bool twoFrames = s.inputMode != nullptr && s.inputMode->GetValue() == ids::kModeTwoFrames;
    rawFrameTag_ = twoFrames ? 1 : 0;
}

}  // namespace ZmCoreLib_v4
