#include "devices/devicekodak.h"

#include "devices/modelselection.h"
#include "devices/settingids.h"

namespace ZmCoreLib_v4 {

namespace {

// The pixel clock is set by the readout channel.
constexpr ReadoutTiming kKodak11002{60, 0, 4036, 2692, 4080, 2721, 150000, 22100};

// The readout channel sets the pixel clock as a share of the 60 MHz timer clock, and names the
// camera.
constexpr ReadoutChannel kChannels[] = {
    {19, 30, u"Zenmira-M2-11002П (30МГц)"},
    {20, 15, u"Zenmira-M2-11002П (Канал 1)"},
    {21, 15, u"Zenmira-M2-11002П (Канал 2)"},
};

constexpr EnumItem kInputModes[] = {{ids::kModeSingleFrame, 0}};

constexpr TypeBStart kStart{
    .maxBinning = 4,
    .maxFramePeriodMs = 1000000,
    .framePeriodMs = 800,
    .maxExposureMs = 200000,
    .exposureMs = 40,
    .inputModes = kInputModes,
    .analogFrontEnd = {2, 3, 1, 0},
};

// No configuration file, name or channel is known for the camera on plain USB: bring-up only
// reads it.
TypeBDescription describe(bool fibreOptic, bool sensorTemperature) {
    if (!fibreOptic) {
        return {.model = {.fpgaSlots = 2,
                          .sensorTemperature = sensorTemperature,
                          .interfaceName = u"USB2.0",
                          .sensor = kKodak11002},
                .start = &kStart};
    }
    return {.model = {.configurationFile = "./zmu0101.bit",
                      .fibreOptic = true,
                      .fpgaSlots = 2,
                      .sensorTemperature = sensorTemperature,
                      .interfaceName = u"USB2.0-FiberOptic",
                      .serials = SerialQueries::kCameraAndController,
                      .sensor = kKodak11002},
            .channels = kChannels,
            .start = &kStart};
}

}  // namespace

bool DeviceKodak::knowsSensor(unsigned sensor) {
    return sensor == kSensorKodak11002;
}

DeviceKodak::DeviceKodak(std::unique_ptr<IHwLayer> layer, unsigned /*sensor*/, int fibreOptic,
                         int sensorTemperature)
    : DeviceTypeB(std::move(layer), describe(fibreOptic != 0, sensorTemperature != 0)) {}

}  // namespace ZmCoreLib_v4
