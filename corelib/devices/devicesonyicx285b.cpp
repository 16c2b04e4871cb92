#include "devices/devicesonyicx285b.h"

#include <algorithm>
#include <iterator>

#include "devices/modelselection.h"
#include "devices/settingids.h"

namespace ZmCoreLib_v4 {

namespace {

// What tells the variants of one sensor apart: the readout timing and, by connection and by
// whether the sensor reports its temperature, the configuration file and the name.
struct SensorVariant {
    unsigned sensor;
    ReadoutTiming timing;
    const char16_t* fibreOpticName;
    const char16_t* fibreOpticTemperatureName;
    const char* file;
    const char16_t* name;
    const char* temperatureFile;
    const char16_t* temperatureName;
};

constexpr SensorVariant kSensors[] = {
    {kSensorIcx205,
     {30, 15, 1392, 1040, 1454, 1068, 6600, 22500},
     u"Zenmira-M2-205",
     u"Zenmira-M2-205П",
     "./zmu2110.bit",
     u"Zenmira-K2-205",
     "./zmu2114.bit",
     u"Zenmira-K2-205П"},
    {kSensorIcx285,
     {60, 30, 1392, 1040, 1454, 1068, 6600, 11300},
     u"Zenmira-M2-285",
     u"Zenmira-M2-285П",
     "./zmu2120.bit",
     u"Zenmira-K2-285",
     "./zmu2124.bit",
     u"Zenmira-K2-285П"},
    {kSensorIcx415,
     {60, 30, 780, 582, 842, 597, 8100, 3340},
     u"Zenmira-M2-415",
     u"Zenmira-M2-415П",
     "./zmu2130.bit",
     u"Zenmira-K2-415",
     "./zmu2134.bit",
     u"Zenmira-K2-415П"},
};

constexpr char kFibreOpticFile[] = "./zmu0100.bit";
constexpr char kIntensifierFile[] = "./zmu212e.bit";
constexpr char16_t kIntensifierName[] = u"Zenmira-K2-285-ЭОП";

constexpr EnumItem kInputModes[] = {
    {ids::kModeSingleFrame, 0}, {ids::kModeSingleFrameSequential, 1}, {ids::kModeMultiFrame, 2}};

constexpr TypeBStart kStart{
    .maxBinning = 8,
    .maxFramePeriodMs = 100000,
    .framePeriodMs = 500,
    .maxExposureMs = 1000000,
    .exposureMs = 100,
    .inputModes = kInputModes,
    .analogFrontEnd = {2, 0, 0, 0},
};

const SensorVariant* findSensor(unsigned sensor) {
    const auto found = std::find_if(std::begin(kSensors), std::end(kSensors),
                                    [sensor](const auto& v) { return v.sensor == sensor; });
    return found != std::end(kSensors) ? found : nullptr;
}

// A fibre-optic camera ignores the intensifier parameter; the intensifier decides before the
// sensor's own variants.
TypeBDescription describe(unsigned sensor, bool fibreOptic, bool sensorTemperature, bool intensifier) {
    const SensorVariant& variant = *findSensor(sensor);
    ModelDescription model{
        .fibreOptic = fibreOptic,
        .sensorTemperature = sensorTemperature,
        .interfaceName = fibreOptic ? u"USB2.0-FiberOptic" : u"USB2.0",
        .serials = fibreOptic ? SerialQueries::kCameraAndController : SerialQueries::kCameraAtController,
        .sensor = variant.timing};
    if (fibreOptic) {
        model.configurationFile = kFibreOpticFile;
        model.name = sensorTemperature ? variant.fibreOpticTemperatureName : variant.fibreOpticName;
    } else if (intensifier) {
        model.configurationFile = kIntensifierFile;
        model.name = kIntensifierName;
    } else {
        model.configurationFile = sensorTemperature ? variant.temperatureFile : variant.file;
        model.name = sensorTemperature ? variant.temperatureName : variant.name;
    }
    return {.model = model, .start = &kStart};
}

}  // namespace

bool DeviceSonyIcx285B::knowsSensor(unsigned sensor) {
    return findSensor(sensor) != nullptr;
}

DeviceSonyIcx285B::DeviceSonyIcx285B(std::unique_ptr<IHwLayer> layer, unsigned sensor, int fibreOptic,
                                     int sensorTemperature, int intensifier)
    : DeviceTypeB(std::move(layer),
                  describe(sensor, fibreOptic != 0, sensorTemperature != 0, intensifier != 0)) {}

}  // namespace ZmCoreLib_v4
