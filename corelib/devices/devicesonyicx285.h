// Zenmira-K2-285 and, over fibre optics, Zenmira-L2-285: family A cameras with a Sony ICX285
// sensor and 1 to 8 times binning.
#pragma once

#include <memory>

#include "devices/devicetypea.h"

namespace ZmCoreLib_v4 {

class DeviceSonyIcx285 final : public DeviceTypeA {
public:
    // Brings the camera up: loads its FPGA configuration and reads its version, module and (over
    // fibre optics) serial numbers. Runs on the creating thread.
    DeviceSonyIcx285(std::unique_ptr<IHwLayer> layer, int fibreOptic);
};

}  // namespace ZmCoreLib_v4
