#include "devices/devicedalsaft50.h"

#include "devices/settingids.h"
#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitLine;
using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;
using ZmCoreLib::kUnitNanosecond;

constexpr ReadoutTiming kSensor{.widthPx = 1028, .heightPx = 1028};

// The frame mode it starts in times frames by the exposure; the line mode by the chronogram
// start.
constexpr LineScan kLineScan{
    .inputModes = {{ids::kModeFrame, 0}, {ids::kModeLine, 1}},
    // 100 нс to 1000 мкс, shown in нс on a 25 нс grid.
    .linePeriod =
        {.units = {kUnitNanosecond, kUnitMicrosecond}, .min = 100, .max = 1000000, .step = 25, .value = 1000},
    .chronogramStart = {.units = {kUnitLine}, .min = 0, .max = kSensor.heightPx, .value = 390},
    .syncOutputs = {{ids::kForbidden, 0}, {ids::kAllowed, 1}},
};

constexpr TypeAStart kStart{
    .framePeriod = {.min = 500,
                    .minUnit = kUnitMillisecond,
                    .max = 1000,
                    .maxUnit = kUnitMillisecond,
                    .displayUnit = kUnitMillisecond,
                    .value = 500},
    .exposure = {.min = 1,
                 .minUnit = kUnitMillisecond,
                 .max = 1000,
                 .maxUnit = kUnitMillisecond,
                 .displayUnit = kUnitMillisecond,
                 .value = 50},
    .frameWidthPx = kSensor.widthPx,
    .frameHeightPx = kSensor.heightPx,
    .lineScan = &kLineScan,
};

// The sensor is mounted turned by 90 degrees.
constexpr TypeADescription kDescription{.model = {.configurationFile = "./zmu2310.bit",
                                                  .rotationDegrees = 90,
                                                  .name = u"Zenmira-K2-FT50",
                                                  .interfaceName = u"USB2.0",
                                                  .sensor = kSensor},
                                        .start = &kStart};

}  // namespace

DeviceDalsaFT50::DeviceDalsaFT50(std::unique_ptr<IHwLayer> layer, unsigned /*sensor*/, int /*fibreOptic*/,
                                 int /*sensorTemperature*/)
    : DeviceTypeA(std::move(layer), kDescription) {}

}  // namespace ZmCoreLib_v4
