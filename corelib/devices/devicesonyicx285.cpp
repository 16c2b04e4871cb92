#include "devices/devicesonyicx285.h"

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {

namespace {

using ZmCoreLib::kUnitMicrosecond;
using ZmCoreLib::kUnitMillisecond;

// Binning counts from the whole sensor; the frame offered at start is a little narrower.
constexpr ReadoutTiming kSensor{.widthPx = 1392, .heightPx = 1040};

constexpr TypeAStart kStart{
    .framePeriod = {.min = 10,
                    .minUnit = kUnitMillisecond,
                    .max = 1000,
                    .maxUnit = kUnitMillisecond,
                    .displayUnit = kUnitMillisecond,
                    .value = 250},
    .exposure = {.min = 5,
                 .minUnit = kUnitMicrosecond,
                 .max = 1000,
                 .maxUnit = kUnitMillisecond,
                 .displayUnit = kUnitMillisecond,
                 .value = 25},
    .frameWidthPx = 1380,
    .frameHeightPx = kSensor.heightPx,
    .maxBinning = 8,
};

TypeADescription describe(bool fibreOptic) {
    return {.model = {.configurationFile = fibreOptic ? "./zmu0100.bit" : "./zmu2200.bit",
                      .fibreOptic = fibreOptic,
                      .name = fibreOptic ? u"Zenmira-L2-285" : u"Zenmira-K2-285",
                      .interfaceName = fibreOptic ? u"USB2.0 FiberOptic" : u"USB2.0",
                      .serials = fibreOptic ? SerialQueries::kCameraAndController : SerialQueries::kNone,
                      .sensor = kSensor},
            .start = &kStart};
}

}  // namespace

DeviceSonyIcx285::DeviceSonyIcx285(std::unique_ptr<IHwLayer> layer, int fibreOptic)
    : DeviceTypeA(std::move(layer), describe(fibreOptic != 0)) {}

}  // namespace ZmCoreLib_v4
