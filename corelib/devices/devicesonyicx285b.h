// Zenmira-M2 and Zenmira-K2 cameras with a Sony ICX205, ICX285 or ICX415 sensor: family B,
// 12-bit packed pixels, 1 to 8 times binning, over fibre optics or plain USB, some reporting their
// sensor temperature, one model with an image intensifier.
#pragma once

#include <memory>

#include "devices/devicetypeb.h"

namespace ZmCoreLib_v4 {

class DeviceSonyIcx285B final : public DeviceTypeB {
public:
    // Brings the camera up: loads the FPGA configuration of its variant and reads its version,
    // module and serial numbers. Runs on the creating thread. The sensor must be one knowsSensor
    // accepts.
    DeviceSonyIcx285B(std::unique_ptr<IHwLayer> layer, unsigned sensor, int fibreOptic, int sensorTemperature,
                      int intensifier);

    // Whether the readout timing and geometry of `sensor` are known.
    static bool knowsSensor(unsigned sensor);
};

}  // namespace ZmCoreLib_v4
