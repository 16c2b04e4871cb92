#include "devices/devicekodak.h"

#include <algorithm>
#include <iterator>

#include "devices/modelselection.h"
#include "devices/serialquery.h"
#include "devices/settingids.h"
#include "devices/settingrules.h"
#include "hardware/registers/familyb.h"

namespace ZmCoreLib_v4 {

namespace {

// The pixel clock is set by the readout channel.
constexpr ReadoutTiming kKodak11002{60, 0, 4036, 2692, 4080, 2721, 150000, 22100};

// The camera's readout channel sets the pixel clock as a share of the 60 MHz timer clock, and
// names the camera.
struct Channel {
    unsigned channel;
    double pixelClockMhz;
    const char16_t* name;
};
constexpr Channel kChannels[] = {
    {19, 30, u"Zenmira-M2-11002П (30МГц)"},
    {20, 15, u"Zenmira-M2-11002П (Канал 1)"},
    {21, 15, u"Zenmira-M2-11002П (Канал 2)"},
};

constexpr char kFibreOpticFile[] = "./zmu0101.bit";
// No configuration file is known for the camera on plain USB: bring-up only reads it.
constexpr char kNoFile[] = "";

constexpr int kFpgaSlots = 2;
constexpr FamilyBStart kStart{
    .maxBinning = 4,
    .maxFramePeriodMs = 1000000,
    .framePeriodMs = 800,
    .maxExposureMs = 200000,
    .exposureMs = 40,
    .inputModes = {{ids::kModeSingleFrame, 0}},
    .analogFrontEnd = {2, 3, 1, 0},
};

}  // namespace

bool DeviceKodak::KnowsSensor(unsigned sensor) {
    return sensor == kSensorKodak11002;
}

DeviceKodak::DeviceKodak(std::unique_ptr<IHwLayer> layer, unsigned /*sensor*/, int fibreOptic,
                         int sensorTemperature)
    : DeviceTypeB(std::move(layer)) {
    CameraSettings& s = cameraSettings_;
    fpgaBufferCount_ = kFpgaSlots;
    sensorTemperature_ = sensorTemperature != 0;
    fibreOptic_ = fibreOptic;
    packed_ = true;
    s.sensor = kKodak11002;

    windowOffsetP_ = 0;
    if (fibreOptic) {
        windowOffsetQ_ = registers::kFibreOpticOffset;
        LoadConfiguration(kFibreOpticFile);
        s.interfaceName->SetText(u"USB2.0-FiberOptic");
        const unsigned channel = registers::familyb::kChannel.extract(
            hw().ReadRegister(registers_.window + registers::familyb::kChannelOffset));
        const auto found = std::find_if(std::begin(kChannels), std::end(kChannels),
                                        [channel](const Channel& c) { return c.channel == channel; });
        if (found != std::end(kChannels)) {
            s.sensor.pixelClockMhz = found->pixelClockMhz;
            s.name->SetText(found->name);
        }
        showCameraSerials(hw(), registers::kSerialQueryCamera, s);
        addControllerSerial(hw(), settingFactory_, s);
    } else {
        windowOffsetQ_ = 0;
        LoadConfiguration(kNoFile);
        s.interfaceName->SetText(u"USB2.0");
    }

    finishFamilyBSettings(settingFactory_, s, sensorTemperature_, kStart);
}

}  // namespace ZmCoreLib_v4
