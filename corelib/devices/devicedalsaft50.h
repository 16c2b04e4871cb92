// Zenmira-K2-FT50: a family A camera with a 1028 x 1028 Dalsa FT50 frame-transfer sensor,
// mounted turned by 90 degrees, with a frame and a line input mode.
#pragma once

#include <memory>

#include "devices/devicetypea.h"

namespace ZmCoreLib_v4 {

class DeviceDalsaFT50 final : public DeviceTypeA {
public:
    // Brings the camera up: loads its FPGA configuration and reads its version and module. The
    // sensor, fibre-optic and sensor-temperature parameters of its product id change nothing.
    // Runs on the creating thread.
    DeviceDalsaFT50(std::unique_ptr<IHwLayer> layer, unsigned sensor, int fibreOptic, int sensorTemperature);
};

}  // namespace ZmCoreLib_v4
