// The settings of a camera object as its family and model build and use them.
//
// SettingFactory makes the hardware-backed settings (with the camera as their checker), appends
// them to the camera's list in the order they are made and keeps their kind objects for the
// camera's life. CameraSettings names the kind objects the coupling rules, the register writer
// and the frame path work with; a pointer is null where the model has no such setting.
//
// Threads: built by the camera's constructor; afterwards values change on client threads (and
// through Check), and the camera thread reads them in its steps, as the settings allow.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "core/hwsetting.h"
#include "core/setting.h"
#include "devices/timewords.h"

namespace ZmCoreLib_v4 {

// One choice of an enumeration setting: the value id clients see, the code its register takes.
struct EnumItem {
    int valueId;
    int registerCode;
};

// How a scalar setting starts. The first unit offered is the display unit unless `displayUnit`
// names another; `min` and `max` are counted in `rangeUnit` (0: the display unit); `step` and
// `value` in the display unit. Without a value the setting is left for the model to set.
struct ScalarStart {
    std::initializer_list<int> units;
    std::int64_t min = 0;
    std::int64_t max = 0;
    int rangeUnit = 0;
    int displayUnit = 0;
    std::optional<std::int64_t> step = std::nullopt;  // none: one base unit
    std::optional<int> value = std::nullopt;
};

class SettingFactory {
public:
    SettingFactory(IChecker& checker, std::vector<ZmCoreLib::Setting>& settings)
        : checker_(checker), settings_(settings) {}
    SettingFactory(const SettingFactory&) = delete;
    SettingFactory& operator=(const SettingFactory&) = delete;

    // Each makes the kind object, gives it its start state (nobody is checked or told: the
    // setting does not exist yet), then appends the setting to the camera's list.
    ZmCoreLib::SettingString* addString(unsigned id);
    SettingScalar* addScalar(unsigned id, const ScalarStart& start);
    // Without a value the enumeration is left for the model to set.
    SettingEnum* addEnum(unsigned id, std::initializer_list<EnumItem> items, std::optional<int> value);

private:
    IChecker& checker_;
    std::vector<ZmCoreLib::Setting>& settings_;
    std::vector<std::unique_ptr<ZmCoreLib::SettingKind>> kinds_;
};

// What the rules work with. The sensor's readout constants matter to family B; family A uses
// only the sensor size (and a 1 MHz timer).
struct CameraSettings {
    ReadoutTiming sensor;

    ZmCoreLib::SettingString* name = nullptr;
    ZmCoreLib::SettingString* version = nullptr;
    ZmCoreLib::SettingString* interfaceName = nullptr;
    ZmCoreLib::SettingString* serial = nullptr;
    ZmCoreLib::SettingString* intensifierSerial = nullptr;
    ZmCoreLib::SettingString* controllerSerial = nullptr;
    ZmCoreLib::SettingString* transferRate = nullptr;
    ZmCoreLib::SettingString* cameraTemperature = nullptr;
    ZmCoreLib::SettingString* sensorTemperature = nullptr;

    SettingScalar* framePeriod = nullptr;
    SettingScalar* multiExposurePeriod = nullptr;
    SettingScalar* exposure = nullptr;
    SettingEnum* gain = nullptr;
    SettingScalar* x = nullptr;
    SettingScalar* y = nullptr;
    SettingScalar* width = nullptr;
    SettingScalar* height = nullptr;
    SettingScalar* binningX = nullptr;
    SettingScalar* binningY = nullptr;
    SettingScalar* shpDelay = nullptr;
    SettingScalar* shdDelay = nullptr;
    SettingScalar* dataDelay = nullptr;
    SettingScalar* shdSamplingDelay = nullptr;
    SettingScalar* linePeriod = nullptr;
    SettingScalar* chronogramStart = nullptr;
    SettingEnum* inputMode = nullptr;
    SettingEnum* inputSource = nullptr;
    SettingEnum* inputEvent = nullptr;
    SettingEnum* exposureSource = nullptr;
    SettingEnum* exposureEvent = nullptr;
    SettingEnum* syncOutputs = nullptr;
    SettingScalar* exposureStartDelay = nullptr;
    SettingScalar* framesPerStart = nullptr;
    SettingScalar* illuminationPulse = nullptr;
};

// A model's range and start for a scalar the family made: minimum, maximum, display unit and
// value, set in that order through the setting's normal operations (so the camera checks each).
struct ScalarRange {
    int min;
    int minUnit;
    int max;
    int maxUnit;
    int displayUnit;
    int value;
};
void applyRange(SettingScalar& setting, const ScalarRange& range);

// The register writer's side of a setting, camera thread: marks the present value as the one the
// camera gets (where the model has the setting), and reads back the pixels marked (0 where it
// has none).
void markWritten(SettingScalar* setting);
int writtenPixels(const SettingScalar* setting);

// The binning factor the camera was last given: the setting's written value where the setting
// exists and that value is not 0, else 1 (a camera not yet given a binning does not bin).
// Camera thread, inside the register writer.
int writtenBinningFactor(const SettingScalar* binning);

}  // namespace ZmCoreLib_v4
