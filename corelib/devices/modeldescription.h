// What tells one camera model from the others of its family. A model hands its description to
// its family's constructor, which brings the camera up and builds its settings from it; the
// model itself is only data (devicemt9m032.cpp and the others).
#pragma once

#include "devices/timewords.h"

namespace ZmCoreLib_v4 {

// Which serial-number queries a camera answers, and where their numbers are shown.
enum class SerialQueries {
    kNone,
    // The controller query's first number, in a controller serial number appended to the list.
    kController,
    // The camera query's two numbers as the camera and intensifier serial numbers, then the
    // controller serial number as for kController (fibre-optic cameras).
    kCameraAndController,
    // The controller query's two numbers as the camera and intensifier serial numbers.
    kCameraAtController,
};

struct ModelDescription {
    // Opened in the current directory; empty when no configuration is known for the camera, which
    // then cannot deliver frames.
    const char* configurationFile = "";
    // Fibre-optic cameras have their registers 96 higher in the control window.
    bool fibreOptic = false;
    int fpgaSlots = 4;
    // The picture's turn in degrees, 0 or 90; an intensifier module may add 180.
    int rotationDegrees = 0;
    // The camera reports its sensor temperature.
    bool sensorTemperature = false;
    // The name and interface texts; a null name is left empty (or to the family).
    const char16_t* name = nullptr;
    const char16_t* interfaceName = u"";
    SerialQueries serials = SerialQueries::kNone;
    // The sensor's size, which binning counts from; family B also reads its readout timing.
    ReadoutTiming sensor{};
};

}  // namespace ZmCoreLib_v4
