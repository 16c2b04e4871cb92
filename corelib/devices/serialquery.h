// The serial-number queries of a camera (registers::kSerialQueryCamera and
// kSerialQueryController): one byte 0x80 written to a query register, eight bytes read back from
// it, of which bytes 4-5 and 6-7 are two numbers, least significant byte first.
#pragma once

#include "devices/camerasettings.h"
#include "devices/modeldescription.h"
#include "hardware/hwlayer.h"
#include "hardware/registers/controlwindow.h"

namespace ZmCoreLib_v4 {

struct SerialNumbers {
    int first = 0;   // bytes 4-5
    int second = 0;  // bytes 6-7
};

// Runs one query on the caller's thread (two control requests). Bytes a camera does not answer
// count as 0.
SerialNumbers querySerialNumbers(IHwLayer& layer, unsigned queryRegister);

// Runs the queries `serials` names and shows their numbers (modeldescription.h); appends the
// controller serial number setting where the controller's number is shown.
void showSerialNumbers(IHwLayer& layer, SerialQueries serials, SettingFactory& factory,
                       CameraSettings& settings);

}  // namespace ZmCoreLib_v4
