// libusb results and transfer statuses in the terms of the driver boundary.
#pragma once

#include <cstdint>

namespace ZmCoreLib_v4 {

// The errno-valued code of a libusb error (negative libusb_error).
int errnoFromLibusb(int libusbError);

struct TransferOutcome {
    int error;                 // 0 or errno-valued
    std::uint32_t usbdStatus;  // what happened on the bus, 0 on success
};

// The outcome of a finished libusb transfer (a libusb_transfer_status).
TransferOutcome transferOutcome(int transferStatus);

}  // namespace ZmCoreLib_v4
