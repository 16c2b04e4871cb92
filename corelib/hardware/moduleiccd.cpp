#include "hardware/moduleiccd.h"

#include <initializer_list>

#include "core/settingfactory.h"
#include "hardware/registers/controlwindow.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

namespace ids = ZmCoreLib::ids;

// Register codes of the modes.
constexpr int kCodeAlignment = 1;
constexpr int kCodeSingleFrame = 2;
constexpr int kCodeTwoFrames = 3;

// Internal register numbers.
constexpr int kModeRegister = 1;
constexpr int kStartModeRegister = 2;
constexpr int kMcpVoltageRegister = 3;
constexpr int kDelayRegister = 4;
// The diaphragm and the (first) duration share one register: the alignment mode gates the tube
// with a pulse whose length the diaphragm sets.
constexpr int kDurationRegister = 5;
constexpr int kPauseBetweenExposuresRegister = 6;
constexpr int kPulseCountRegister = 7;
constexpr int kPauseBetweenShutterPulsesRegister = 8;
constexpr int kSecondDurationRegister = 9;

constexpr int kMcpMinVolts = 400;
constexpr int kMcpMaxVolts = 1000;

constexpr int kRotationTypes1To4 = 180;
constexpr int kFastModuleType = 5;
constexpr int kFineDelayModuleType = 1;

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;
using ZmCoreLib::kUnitPercent;
using ZmCoreLib::kUnitPulse;
using ZmCoreLib::kUnitVolt;

constexpr std::initializer_list<int> kShortTimeUnits = {kUnitNanosecond, kUnitMicrosecond};

constexpr ScalarShape kMcpVoltage{
    .units = {kUnitVolt}, .min = kMcpMinVolts, .max = kMcpMaxVolts, .step = 1, .value = kMcpMinVolts};
constexpr ScalarShape kDiaphragm{.units = {kUnitPercent}, .min = 1, .max = 100, .step = 1, .value = 1};
constexpr ScalarShape kPulseCount{.units = {kUnitPulse}, .min = 1, .max = 7, .step = 1, .value = 1};

// The shutter of the single-pulse-train types 1, 2 and 4.
struct PulseTrain {
    ScalarShape delay;
    ScalarShape duration;
    ScalarShape pauseBetweenExposures;
};

// Type 1 times its shutter on a 20 нс grid.
constexpr PulseTrain kFineDelayTrain{
    .delay = {.units = kTimeUnits, .min = 0, .max = 1, .maxUnit = kUnitMillisecond, .step = 20, .value = 0},
    .duration = {.units = kShortTimeUnits,
                 .min = 20,
                 .max = 20,
                 .maxUnit = kUnitMicrosecond,
                 .step = 20,
                 .value = 20},
    .pauseBetweenExposures = {.units = kTimeUnits, .min = 1000, .max = 16777215, .step = 20, .value = 1000},
};

// Types 2 and 4 time it by the nanosecond and differ in the shortest pulse.
constexpr PulseTrain nanosecondTrain(int durationMinNs) {
    return {
        .delay = {.units = kTimeUnits, .min = 0, .max = 16777215, .step = 1, .value = 0},
        .duration = {.units = kTimeUnits, .min = durationMinNs, .max = 65535, .step = 1, .value = 2},
        .pauseBetweenExposures = {.units = kTimeUnits, .min = 200, .max = 16777215, .step = 1, .value = 200},
    };
}

// The type 3 shutter: two pulses, each with its own duration, and the pause between them.
constexpr ScalarShape kFirstDelay{.units = kTimeUnits, .min = 0, .max = 4000000, .step = 1, .value = 0};
constexpr ScalarShape kFirstDuration{
    .units = kShortTimeUnits, .min = 1, .max = 20000, .step = 1, .value = 1000};
constexpr ScalarShape kSecondDuration{.units = kTimeUnits, .min = 1, .max = 20000, .step = 1, .value = 1};
constexpr ScalarShape kPauseBetweenShutterPulses{
    .units = kTimeUnits, .min = 5400, .max = 4000000, .step = 1, .value = 5400};

// The fast type 5.
constexpr ScalarShape kFastDelay{.units = kTimeUnits, .min = 0, .max = 1000000, .step = 5, .value = 0};
constexpr ScalarShape kFastDuration{.units = kTimeUnits, .min = 10, .max = 20000, .step = 10, .value = 10};

constexpr PulseTrain kType2Train = nanosecondTrain(1);
constexpr PulseTrain kType4Train = nanosecondTrain(10);

const PulseTrain& pulseTrain(int type) {
    switch (type) {
        case kFineDelayModuleType:
            return kFineDelayTrain;
        case 2:
            return kType2Train;
        default:
            return kType4Train;
    }
}

}  // namespace

ModuleIccd::ModuleIccd(IChecker* camera, int type)
    : camera_(camera), type_(type), rotation_(type == kFastModuleType ? 0 : kRotationTypes1To4) {
    switch (type) {
        case 3:
            buildType3();
            break;
        case kFastModuleType:
            buildType5();
            break;
        default:
            buildTypes124();
            break;
    }
}

ModuleIccd::~ModuleIccd() = default;

SettingScalar* ModuleIccd::addScalar(unsigned id, const ScalarShape& shape, int registerNumber) {
    // Not yet wrapped in a Setting while it is shaped: the values reach neither the camera nor observers.
    SettingScalar* setting = factory_.addScalar(id, shape);
    setting->setHwAddress(registerNumber);
    return setting;
}

SettingEnum* ModuleIccd::addEnum(unsigned id, std::initializer_list<EnumItem> items, int value,
                                 int registerNumber) {
    SettingEnum* setting = factory_.addEnum(id, items, value);
    setting->setHwAddress(registerNumber);
    return setting;
}

void ModuleIccd::addModeVoltageAndDiaphragm(std::initializer_list<EnumItem> modes) {
    mode_ = addEnum(ids::kIccdMode, modes, ids::kIccdModeOff, kModeRegister);
    mcpVoltage_ = addScalar(ids::kIccdMcpVoltage, kMcpVoltage, kMcpVoltageRegister);
    diaphragm_ = addScalar(ids::kIccdDiaphragm, kDiaphragm, kDurationRegister);
}

void ModuleIccd::buildTypes124() {
    const PulseTrain& train = pulseTrain(type_);
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame}});
    delay_ = addScalar(ids::kIccdDelay, train.delay, kDelayRegister);
    duration_ = addScalar(ids::kIccdDuration, train.duration, kDurationRegister);
    pauseBetweenExposures_ = addScalar(ids::kIccdPauseBetweenExposures, train.pauseBetweenExposures,
                                       kPauseBetweenExposuresRegister);
    pulseCount_ = addScalar(ids::kIccdPulseCount, kPulseCount, kPulseCountRegister);
}

void ModuleIccd::buildType3() {
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame},
                                {ids::kIccdModeTwoFrames, kCodeTwoFrames}});
    delay_ = addScalar(ids::kIccdFirstDelay, kFirstDelay, kDelayRegister);
    duration_ = addScalar(ids::kIccdFirstDuration, kFirstDuration, kDurationRegister);
    secondDuration_ = addScalar(ids::kIccdSecondDuration, kSecondDuration, kSecondDurationRegister);
    pauseBetweenShutterPulses_ = addScalar(ids::kIccdPauseBetweenShutterPulses, kPauseBetweenShutterPulses,
                                           kPauseBetweenShutterPulsesRegister);
    startMode_ = addEnum(ids::kIccdStartMode,
                         {{ids::kIccdStartWithoutSyncPulse, 0}, {ids::kIccdStartWithSyncPulse, 1}},
                         ids::kIccdStartWithoutSyncPulse, kStartModeRegister);
}

void ModuleIccd::buildType5() {
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame}});
    delay_ = addScalar(ids::kIccdDelay, kFastDelay, kDelayRegister);
    duration_ = addScalar(ids::kIccdDuration, kFastDuration, kDurationRegister);
}

ZmCoreLib::ISettingIterator* ModuleIccd::GetSettings() {
    return new ZmCoreLib::SettingIterator(&settings_);
}

int ModuleIccd::modeCode() const {
    return mode_->GetRegisterCode();
}

unsigned ModuleIccd::steps(const SettingScalar& setting, int unitId) {
    const std::int64_t step = setting.GetStepIn(unitId);
    return static_cast<unsigned>(setting.GetValueIn(unitId) / (step != 0 ? step : 1));
}

unsigned ModuleIccd::durationSteps() const {
    // Type 5 counts its duration from one step.
    return steps(*duration_, kUnitNanosecond) + (type_ == kFastModuleType ? 1 : 0);
}

// The alignment pulse: the diaphragm's share of the longest duration, counted in duration steps.
unsigned ModuleIccd::diaphragmValue() const {
    const std::int64_t durationMaxNs = duration_->GetMax(kUnitNanosecond);
    const std::int64_t durationStepNs = duration_->GetStepIn(kUnitNanosecond);
    const std::int64_t divisor = std::int64_t{diaphragm_->GetMax(kUnitPercent)} * durationStepNs;
    return static_cast<unsigned>(durationMaxNs * diaphragm_->GetValueIn(kUnitPercent) /
                                 (divisor != 0 ? divisor : 1));
}

void ModuleIccd::writeIndirect(int registerNumber, unsigned value) {
    if (layer_ == nullptr) return;
    const auto address = static_cast<unsigned>(baseAddress_);
    layer_->WriteRegister(address, static_cast<unsigned>(registerNumber));
    layer_->WriteRegister(address + registers::kModuleDataAfterAddress, value);
}

void ModuleIccd::Apply(unsigned id) {
    const int code = modeCode();
    switch (id) {
        case ids::kIccdStartMode:
            if (startMode_) writeSetting(*startMode_, static_cast<unsigned>(startMode_->GetRegisterCode()));
            break;
        case ids::kIccdMode:
            if (code == kCodeAlignment) {
                writeSetting(*diaphragm_, diaphragmValue());
                if (pulseCount_) writeSetting(*pulseCount_, 1);
            } else if (code == kCodeSingleFrame || code == kCodeTwoFrames) {
                writeSetting(*duration_, durationSteps());
                if (pulseCount_) writeSetting(*pulseCount_, steps(*pulseCount_, kUnitPulse));
            }
            writeSetting(*mode_, static_cast<unsigned>(code));
            break;
        case ids::kIccdMcpVoltage:
            writeSetting(*mcpVoltage_, steps(*mcpVoltage_, kUnitVolt));
            break;
        case ids::kIccdDelay:
        case ids::kIccdFirstDelay:
            // Type 1 counts its delay from one step.
            writeSetting(*delay_, steps(*delay_, kUnitNanosecond) + (type_ == kFineDelayModuleType ? 1 : 0));
            break;
        case ids::kIccdDuration:
        case ids::kIccdFirstDuration:
            // In the alignment mode the shared register holds the diaphragm's pulse instead.
            if (code != kCodeAlignment) writeSetting(*duration_, durationSteps());
            break;
        case ids::kIccdPauseBetweenExposures:
        case ids::kIccdFirstPauseBetweenPulses:
            if (pauseBetweenExposures_) {
                writeSetting(*pauseBetweenExposures_, steps(*pauseBetweenExposures_, kUnitNanosecond));
            }
            break;
        case ids::kIccdPulseCount:
        case ids::kIccdFirstPulseCount:
            if (pulseCount_) writeSetting(*pulseCount_, steps(*pulseCount_, kUnitPulse));
            break;
        case ids::kIccdPauseBetweenShutterPulses:
            if (pauseBetweenShutterPulses_) {
                writeSetting(*pauseBetweenShutterPulses_,
                             steps(*pauseBetweenShutterPulses_, kUnitNanosecond));
            }
            break;
        case ids::kIccdSecondDuration:
            if (secondDuration_) writeSetting(*secondDuration_, steps(*secondDuration_, kUnitNanosecond));
            break;
        case ids::kIccdDiaphragm:
            if (code == kCodeAlignment) writeSetting(*diaphragm_, diaphragmValue());
            break;
        default:
            break;
    }
}

void ModuleIccd::SettingChanged(unsigned id) {
    if (id != ids::kIccdMode) return;
    const int mode = mode_->GetValue();
    const bool alignment = mode == ids::kIccdModeAlignment;
    const bool singleFrame = mode == ids::kIccdModeSingleFrame;
    const bool twoFrames = mode == ids::kIccdModeTwoFrames;
    const auto enable = [](ZmCoreLib::SettingKind* setting, bool enabled) {
        if (setting) setting->setEnabled(enabled);
    };
    const bool on = alignment || singleFrame || twoFrames;
    enable(mcpVoltage_, on);
    enable(diaphragm_, alignment);
    enable(startMode_, twoFrames);
    enable(duration_, singleFrame || twoFrames);
    enable(delay_, singleFrame || twoFrames);
    enable(pauseBetweenExposures_, singleFrame);
    enable(pulseCount_, singleFrame);
    enable(secondDuration_, twoFrames);
    enable(pauseBetweenShutterPulses_, twoFrames);
    // Every mode that gates the tube starts from the narrowest diaphragm; like a user's change,
    // this passes through the camera's Check and reaches the module's register later.
    if (on) diaphragm_->SetValue(1);
}

void ModuleIccd::SetSecondPulseEnabled(bool enabled) {
    if (secondDuration_) secondDuration_->setEnabled(enabled);
    if (pauseBetweenShutterPulses_) pauseBetweenShutterPulses_->setEnabled(enabled);
}

}  // namespace ZmCoreLib_v4
