#include "devices/devicemt9m032.h"

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;

constexpr ReadoutTiming kSensor{.widthPx = 1440, .heightPx = 1080};

constexpr TypeAStart kStart{
    .framePeriod = {.min = 10,
                    .minUnit = kUnitMillisecond,
                    .max = 1000,
                    .maxUnit = kUnitMillisecond,
                    .displayUnit = kUnitMillisecond,
                    .value = 1000},
    // Asked for 1 мкс, the exposure starts at its minimum, 1000 мкс.
    .exposure = {.min = 1,
                 .minUnit = kUnitMillisecond,
                 .max = 1000,
                 .maxUnit = kUnitMillisecond,
                 .displayUnit = kUnitMicrosecond,
                 .value = 1},
    .frameWidthPx = kSensor.widthPx,
    .frameHeightPx = kSensor.heightPx,
};

TypeADescription describe(bool fibreOptic) {
    return {.model = {.configurationFile = fibreOptic ? "./zmu0200n.bit" : "./zmu2200.bit",
                      .fibreOptic = fibreOptic,
                      .name = u"Zenmira-M2-MT9M032",
                      .interfaceName = fibreOptic ? u"USB2.0 FiberOptic" : u"USB2.0",
                      .serials = fibreOptic ? SerialQueries::kController : SerialQueries::kNone,
                      .sensor = kSensor},
            .start = &kStart};
}

}  // namespace

DeviceMT9M032::DeviceMT9M032(std::unique_ptr<IHwLayer> layer, int fibreOptic)
    : DeviceTypeA(std::move(layer), describe(fibreOptic != 0)) {}

}  // namespace ZmCoreLib_v4
