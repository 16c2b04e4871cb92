// Who else uses a USB device, as far as this process may look: the other processes that hold the
// device's file open, and the kernel drivers bound to its interfaces. For the messages about a
// camera in use elsewhere.
#pragma once

#include <string>

namespace ZmCoreLib_v4 {

// `deviceFile` is the device's file ("/dev/bus/usb/001/004"), `sysfsName` its name under
// /sys/bus/usb/devices ("1-2"). The answer reads like "process 4711 (zmcam), the kernel driver
// usbtest"; it is empty when nobody is seen (processes of other users stay hidden unless this one
// may look into them). Reads /proc and /sys only, so it never waits for a device.
std::string deviceUsers(const std::string& deviceFile, const std::string& sysfsName);

}  // namespace ZmCoreLib_v4
