#include <cstdlib>
#include <stdexcept>
#include <string>

#include "hardware/driver/usbdriver.h"
#include "platform/messagebox.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr const char* kSimulateVariable = "ZMCORE_SIMULATE";
constexpr const char* kErrorCaption = "Zmcorelib Error";

std::unique_ptr<UsbDriver> makeProcessDriver() {
    const char* simulate = std::getenv(kSimulateVariable);
    if (!simulate) return makeLibusbDriver();
    try {
        return makeSimulatorDriver(simulate);
    } catch (const std::invalid_argument& error) {
        platform::showMessageBox(kErrorCaption,
                                 std::string(error.what()) + "\nCorrect " + kSimulateVariable +
                                     " or unset it to use real cameras. No cameras are simulated.");
        return makeSimulatorDriver("");
    }
}

}  // namespace

UsbDriver& usbDriver() {
    // Built by the first caller (discovery, while the environment is being built), so it is
    // destroyed after the environment and the devices whose handles it serves.
    static const std::unique_ptr<UsbDriver> driver = makeProcessDriver();
    return *driver;
}

}  // namespace ZmCoreLib_v4
