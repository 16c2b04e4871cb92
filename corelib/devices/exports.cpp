// GetEnvironment and GetEnvironmentEx: the library's entries for clients that use its interfaces.
//
// Nothing thrown inside the library crosses the C boundary: a failure to build the environment
// is shown as a message and reported as a null result.
#include <exception>
#include <string>

#include "devices/environment.h"
#include "devices/environmentextension.h"
#include "platform/messagebox.h"
#include "zmcorelib/deviceextensions.h"
#include "zmcorelib/zmcorelib.h"

extern "C" ZmCoreLib::IEnvironment* GetEnvironment() {
    try {
        return &ZmCoreLib_v4::processEnvironment();
    } catch (const std::exception& error) {
        platform::showMessageBox(ZmCoreLib_v4::Environment::kMessageCaption,
                                 std::string("The camera list could not be built: ") + error.what());
    } catch (...) {
        platform::showMessageBox(ZmCoreLib_v4::Environment::kMessageCaption,
                                 "The camera list could not be built.");
    }
    return nullptr;
}

extern "C" ZmCoreLib::IEnvironmentEx* GetEnvironmentEx() {
    return &ZmCoreLib_v4::environmentExtension();
}
