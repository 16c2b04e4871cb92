#include "hardware/libusb/libusberrors.h"

#include <libusb.h>

#include <cerrno>

#include "hardware/driver/usbdriver.h"

namespace ZmCoreLib_v4 {

int errnoFromLibusb(int libusbError) {
    switch (libusbError) {
        case LIBUSB_SUCCESS:
            return 0;
        case LIBUSB_ERROR_INVALID_PARAM:
            return EINVAL;
        case LIBUSB_ERROR_ACCESS:
            return EACCES;
        case LIBUSB_ERROR_NO_DEVICE:
            return ENODEV;
        case LIBUSB_ERROR_NOT_FOUND:
            return ENOENT;
        case LIBUSB_ERROR_BUSY:
            return EBUSY;
        case LIBUSB_ERROR_TIMEOUT:
            return ETIMEDOUT;
        case LIBUSB_ERROR_OVERFLOW:
            return EOVERFLOW;
        case LIBUSB_ERROR_PIPE:
            return EPIPE;
        case LIBUSB_ERROR_INTERRUPTED:
            return EINTR;
        case LIBUSB_ERROR_NO_MEM:
            return ENOMEM;
        case LIBUSB_ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        default:
            return EIO;
    }
}

TransferOutcome transferOutcome(int transferStatus) {
    switch (transferStatus) {
        case LIBUSB_TRANSFER_COMPLETED:
            return {0, 0};
        case LIBUSB_TRANSFER_TIMED_OUT:
            return {ETIMEDOUT, kUsbdStatusTimeout};
        case LIBUSB_TRANSFER_CANCELLED:
            return {ECANCELED, kUsbdStatusCanceled};
        case LIBUSB_TRANSFER_STALL:
            return {EPIPE, kUsbdStatusStall};
        case LIBUSB_TRANSFER_NO_DEVICE:
            return {ENODEV, kUsbdStatusDeviceGone};
        case LIBUSB_TRANSFER_OVERFLOW:
            return {EOVERFLOW, kUsbdStatusError};
        default:
            return {EIO, kUsbdStatusError};
    }
}

}  // namespace ZmCoreLib_v4
