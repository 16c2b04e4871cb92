// The image-intensifier module some cameras carry: a tube with a microchannel plate ("МКП") and
// a gated shutter whose voltage, delay, pulse duration, pauses and pulse count the host programs.
//
// The module is reached through two camera registers: the module address register takes the
// number of one of the module's internal registers, the register after it that register's value.
//
// Threads: SettingChanged runs on the thread that changed a setting (inside the camera's Check)
// and only changes settings; Apply runs on the camera thread, with the acquisition switched off
// and the command buffer held by the writer, and is the only operation that touches registers.
#pragma once

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "core/checker.h"
#include "core/hwsetting.h"
#include "core/setting.h"
#include "core/settingfactory.h"
#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4 {

class IModule {
public:
    // New iterator over the module's settings in the module's order; the caller releases it.
    virtual ZmCoreLib::ISettingIterator* GetSettings() = 0;
    // The layer every register write goes through.
    virtual void SetHwLayer(IHwLayer* layer) = 0;
    // The module address register; its data register is the one after it.
    virtual void SetBaseAddress(int address) = 0;
    // Keeps the settings consistent after the setting `id` changed (mode changes enable and
    // disable the settings that mode uses).
    virtual void SettingChanged(unsigned id) = 0;
    // Writes the internal register(s) of setting `id`; ids that are not the module's are ignored.
    virtual void Apply(unsigned id) = 0;
    virtual ~IModule() = default;
};

class ModuleIccd final : public IModule {
public:
    // Module types the camera reports: 1, 2 and 4 gate one pulse train, 3 gates two pulses, 5 is a
    // fast single-pulse module.
    static bool isKnownType(int type) { return type >= 1 && type <= 5; }

    // Builds the settings of `type` (which must be known) with `camera` as their checker.
    ModuleIccd(IChecker* camera, int type);
    ~ModuleIccd() override;
    ModuleIccd(const ModuleIccd&) = delete;
    ModuleIccd& operator=(const ModuleIccd&) = delete;

    ZmCoreLib::ISettingIterator* GetSettings() override;
    void SetHwLayer(IHwLayer* layer) override { layer_ = layer; }
    void SetBaseAddress(int address) override { baseAddress_ = address; }
    void SettingChanged(unsigned id) override;
    void Apply(unsigned id) override;

    // Degrees the module turns the picture: the camera adds them to its own rotation.
    int GetRotation() const { return rotation_; }
    // The camera's two-frame input mode needs the second shutter pulse; every other mode leaves
    // its settings disabled.
    void SetSecondPulseEnabled(bool enabled);
    // The settings in the module's order, for the camera to append to its own list.
    const std::vector<ZmCoreLib::Setting>& settings() const { return settings_; }

private:
    // Each makes the setting with its internal register number.
    SettingScalar* addScalar(unsigned id, const ScalarShape& shape, int registerNumber);
    SettingEnum* addEnum(unsigned id, std::initializer_list<EnumItem> items, int value, int registerNumber);
    // Every type begins its list with the mode (`modes`, off first), the MCP voltage and the
    // diaphragm.
    void addModeVoltageAndDiaphragm(std::initializer_list<EnumItem> modes);
    void buildTypes124();
    void buildType3();
    void buildType5();

    int modeCode() const;
    // Value over step in `unitId`: the count of steps the module's registers take.
    static unsigned steps(const SettingScalar& setting, int unitId);
    unsigned durationSteps() const;
    unsigned diaphragmValue() const;
    // Puts `registerNumber` into the module address register and `value` into the data register.
    void writeIndirect(int registerNumber, unsigned value);
    void writeSetting(const HwAddress& setting, unsigned value) { writeIndirect(setting.hwAddress(), value); }

    IChecker* camera_;
    IHwLayer* layer_ = nullptr;
    int baseAddress_ = 0;
    const int type_;
    const int rotation_;

    // Null where the type has no such setting.
    SettingEnum* mode_ = nullptr;
    SettingScalar* mcpVoltage_ = nullptr;
    SettingScalar* diaphragm_ = nullptr;
    SettingScalar* delay_ = nullptr;  // the first delay for type 3
    SettingScalar* pauseBetweenExposures_ = nullptr;
    SettingScalar* duration_ = nullptr;  // the first duration for type 3
    SettingScalar* pulseCount_ = nullptr;
    SettingEnum* startMode_ = nullptr;
    SettingScalar* pauseBetweenShutterPulses_ = nullptr;
    SettingScalar* secondDuration_ = nullptr;

    std::vector<ZmCoreLib::Setting> settings_;
    SettingFactory factory_{*camera_, settings_};  // owns the settings' kind objects
};

}  // namespace ZmCoreLib_v4
