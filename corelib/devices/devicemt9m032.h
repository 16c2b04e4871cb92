// Zenmira-M2-MT9M032: a family A camera with a 1440 x 1080 MT9M032 sensor, over fibre optics or
// plain USB.
#pragma once

#include <memory>

#include "devices/devicetypea.h"

namespace ZmCoreLib_v4 {

class DeviceMT9M032 final : public DeviceTypeA {
public:
    // Brings the camera up: loads its FPGA configuration and reads its version, module and (over
    // fibre optics) controller serial number. Runs on the creating thread.
    DeviceMT9M032(std::unique_ptr<IHwLayer> layer, int fibreOptic);
};

}  // namespace ZmCoreLib_v4
