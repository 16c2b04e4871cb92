// Zenmira-M2-11002П: a family B camera with a 4036 x 2692 Kodak 11002 sensor over fibre optics,
// two FPGA frame slots, 1 to 4 times binning and a pixel clock chosen by its readout channel.
#pragma once

#include <memory>

#include "devices/devicetypeb.h"

namespace ZmCoreLib_v4 {

class DeviceKodak final : public DeviceTypeB {
public:
    // Brings the camera up: over fibre optics it loads the FPGA configuration, reads the version,
    // module, readout channel and serial numbers; a camera on plain USB has no configuration file,
    // name or pixel clock of its own. Runs on the creating thread. The sensor must be one
    // knowsSensor accepts.
    DeviceKodak(std::unique_ptr<IHwLayer> layer, unsigned sensor, int fibreOptic, int sensorTemperature);

    // Whether the readout timing and geometry of `sensor` are known.
    static bool knowsSensor(unsigned sensor);
};

}  // namespace ZmCoreLib_v4
