#include "hardware/moduleiccd.h"

#include <initializer_list>

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

const std::initializer_list<int> kTimeUnits = {kUnitNanosecond, kUnitMicrosecond, kUnitMillisecond};
const std::initializer_list<int> kShortTimeUnits = {kUnitNanosecond, kUnitMicrosecond};

}  // namespace

struct ModuleIccd::ScalarShape {
    std::initializer_list<int> units;
    int min;
    int minUnit;
    int max;
    int maxUnit;
    int step;
    int initial;
    int registerNumber;
};

struct ModuleIccd::EnumShape {
    std::initializer_list<std::pair<int, int>> items;  // value id, register code
    int initial;
    int registerNumber;
};

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

SettingScalar* ModuleIccd::addScalar(unsigned id, const ScalarShape& shape) {
    auto owned = std::make_unique<SettingScalar>(camera_);
    SettingScalar* setting = owned.get();
    for (int unit : shape.units) setting->AddUnit(unit);
    setting->SetMax(shape.max, shape.maxUnit);
    setting->SetMin(shape.min, shape.minUnit);
    setting->SetStep(shape.step);
    // Not yet wrapped in a Setting: the initial value reaches neither the camera nor observers.
    setting->SetValue(shape.initial);
    setting->SetHwAddress(shape.registerNumber);
    kinds_.push_back(std::move(owned));
    settings_.emplace_back(id, setting);
    return setting;
}

SettingEnum* ModuleIccd::addEnum(unsigned id, const EnumShape& shape) {
    auto owned = std::make_unique<SettingEnum>(camera_);
    SettingEnum* setting = owned.get();
    for (auto [valueId, code] : shape.items) setting->AddItem(valueId, code);
    setting->SetValue(shape.initial);
    setting->SetHwAddress(shape.registerNumber);
    kinds_.push_back(std::move(owned));
    settings_.emplace_back(id, setting);
    return setting;
}

void ModuleIccd::addModeVoltageAndDiaphragm(std::initializer_list<std::pair<int, int>> modes) {
    mode_ = addEnum(ids::kIccdMode, {modes, ids::kIccdModeOff, kModeRegister});
    mcpVoltage_ = addScalar(ids::kIccdMcpVoltage, {{kUnitVolt},
                                                   kMcpMinVolts,
                                                   kUnitVolt,
                                                   kMcpMaxVolts,
                                                   kUnitVolt,
                                                   1,
                                                   kMcpMinVolts,
                                                   kMcpVoltageRegister});
    diaphragm_ = addScalar(ids::kIccdDiaphragm,
                           {{kUnitPercent}, 1, kUnitPercent, 100, kUnitPercent, 1, 1, kDurationRegister});
}

void ModuleIccd::buildTypes124() {
    const bool fineDelay = type_ == kFineDelayModuleType;
    const int durationMinNs = type_ == 1 ? 20 : type_ == 2 ? 1 : 10;
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame}});
    delay_ = fineDelay ? addScalar(ids::kIccdDelay, {kTimeUnits, 0, kUnitNanosecond, 1, kUnitMillisecond, 20,
                                                     0, kDelayRegister})
                       : addScalar(ids::kIccdDelay, {kTimeUnits, 0, kUnitNanosecond, 16777215,
                                                     kUnitNanosecond, 1, 0, kDelayRegister});
    duration_ = fineDelay ? addScalar(ids::kIccdDuration, {kShortTimeUnits, durationMinNs, kUnitNanosecond,
                                                           20, kUnitMicrosecond, 20, 20, kDurationRegister})
                          : addScalar(ids::kIccdDuration, {kTimeUnits, durationMinNs, kUnitNanosecond, 65535,
                                                           kUnitNanosecond, 1, 2, kDurationRegister});
    const int pauseMinNs = fineDelay ? 1000 : 200;
    pauseBetweenExposures_ = addScalar(ids::kIccdPauseBetweenExposures,
                                       {kTimeUnits, pauseMinNs, kUnitNanosecond, 16777215, kUnitNanosecond,
                                        fineDelay ? 20 : 1, pauseMinNs, kPauseBetweenExposuresRegister});
    pulseCount_ = addScalar(ids::kIccdPulseCount,
                            {{kUnitPulse}, 1, kUnitPulse, 7, kUnitPulse, 1, 1, kPulseCountRegister});
}

void ModuleIccd::buildType3() {
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame},
                                {ids::kIccdModeTwoFrames, kCodeTwoFrames}});
    delay_ = addScalar(ids::kIccdFirstDelay,
                       {kTimeUnits, 0, kUnitNanosecond, 4000000, kUnitNanosecond, 1, 0, kDelayRegister});
    duration_ = addScalar(ids::kIccdFirstDuration, {kShortTimeUnits, 1, kUnitNanosecond, 20000,
                                                    kUnitNanosecond, 1, 1000, kDurationRegister});
    secondDuration_ = addScalar(ids::kIccdSecondDuration, {kTimeUnits, 1, kUnitNanosecond, 20000,
                                                           kUnitNanosecond, 1, 1, kSecondDurationRegister});
    pauseBetweenShutterPulses_ = addScalar(ids::kIccdPauseBetweenShutterPulses,
                                           {kTimeUnits, 5400, kUnitNanosecond, 4000000, kUnitNanosecond, 1,
                                            5400, kPauseBetweenShutterPulsesRegister});
    startMode_ = addEnum(ids::kIccdStartMode,
                         {{{ids::kIccdStartWithoutSyncPulse, 0}, {ids::kIccdStartWithSyncPulse, 1}},
                          ids::kIccdStartWithoutSyncPulse,
                          kStartModeRegister});
}

void ModuleIccd::buildType5() {
    addModeVoltageAndDiaphragm({{ids::kIccdModeOff, 0},
                                {ids::kIccdModeAlignment, kCodeAlignment},
                                {ids::kIccdModeSingleFrame, kCodeSingleFrame}});
    delay_ = addScalar(ids::kIccdDelay,
                       {kTimeUnits, 0, kUnitNanosecond, 1000000, kUnitNanosecond, 5, 0, kDelayRegister});
    duration_ = addScalar(ids::kIccdDuration, {kTimeUnits, 10, kUnitNanosecond, 20000, kUnitNanosecond, 10,
                                               10, kDurationRegister});
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
        if (setting) setting->SetEnabled(enabled);
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
    if (secondDuration_) secondDuration_->SetEnabled(enabled);
    if (pauseBetweenShutterPulses_) pauseBetweenShutterPulses_->SetEnabled(enabled);
}

}  // namespace ZmCoreLib_v4
