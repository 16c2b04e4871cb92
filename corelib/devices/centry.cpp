// InitDevice and GrabFrame: the first camera's frames for a plain C caller.
//
// Threads: both functions keep their state in process-wide variables without a lock and are
// meant to be called from one thread. Nothing thrown inside the library crosses the C boundary:
// a failure is shown as a message and reported through *status.

#include <exception>
#include <string>

#include "devices/environment.h"
#include "platform/messagebox.h"
#include "platform/text.h"
#include "zmcorelib/zmcorelib.h"

namespace {

using ZmCoreLib::IDevice;
using ZmCoreLib::IFrame;
using ZmCoreLib::IFrameBuffer;

constexpr char kCaption[] = "Zmcorelib Error";
constexpr char kNoCamera[] = "Нет подключенных камер";
constexpr char kCameraNotCreated[] = "Камера не может быть инициализирована";
constexpr char kNotInitialised[] = "Камера еще не инициализирована";

constexpr int kStatusOk = 0;
constexpr int kStatusFailed = -1;

// The camera InitDevice opened, its output buffer and the frame GrabFrame handed out last.
// Trivially destructible, so they stay valid while the library unloads.
IDevice* openedDevice = nullptr;
IFrameBuffer* openedFrameBuffer = nullptr;
IFrame* heldFrame = nullptr;

void showError(const std::string& text) {
    platform::showMessageBox(kCaption, text);
}

void giveBackHeldFrame() {
    if (heldFrame == nullptr) return;
    heldFrame->Release();
    heldFrame = nullptr;
}

// Gives back the held frame, then stops and closes the camera: its threads end and its frame
// buffers go, so nothing of it runs any more.
void closeOpenedDevice() {
    giveBackHeldFrame();
    IDevice* device = openedDevice;
    openedDevice = nullptr;
    openedFrameBuffer = nullptr;
    if (device == nullptr) return;
    device->Stop();
    device->Close();
}

// Made right after the environment on the first InitDevice: static objects go in the reverse
// order of their construction, both when the process exits and when the library is unloaded,
// so the opened camera is stopped and closed before the environment destroys the creators and
// their cameras.
struct CloseOpenedDeviceAtUnload {
    ~CloseOpenedDeviceAtUnload() {
        try {
            closeOpenedDevice();
        } catch (...) {
            // Unloading goes on; the environment still destroys the camera object.
        }
    }
};

void closeOpenedDeviceAtUnload() {
    static CloseOpenedDeviceAtUnload guard;
}

// What went wrong, for a message: the library's exceptions carry their own texts.
std::string describeCurrentException() {
    try {
        throw;
    } catch (const ZmCoreLib::ExceptionRoot& error) {
        return error.What();
    } catch (const ZmCoreLib::FrameBufferException& error) {
        return platform::toUtf8(error.message());
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}

void initDevice(int& status) {
    // A second InitDevice starts from scratch; the camera of the first must not run on beside
    // a new object for the same camera.
    closeOpenedDevice();
    ZmCoreLib::IEnvironment& environment = ZmCoreLib_v4::processEnvironment();
    closeOpenedDeviceAtUnload();
    ZmCoreLib::IPairIterator* names = environment.GetDeviceNames();
    if (names == nullptr) return;
    struct ReleaseAtExit {
        ZmCoreLib::IPairIterator* iterator;
        ~ReleaseAtExit() { iterator->Release(); }
    } releaseNames{names};

    names->First();
    if (names->IsDone()) {
        showError(kNoCamera);
        return;
    }
    IDevice* device = environment.GetDeviceCreator(names->Current())->CreateDevice();
    if (device == nullptr) {
        showError(kCameraNotCreated);
        return;
    }
    device->Open();
    openedDevice = device;
    device->Start();
    openedFrameBuffer = device->GetFrameBuffer();
    status = kStatusOk;
}

void grabFrame(void** data, int* width, int* height, int& status) {
    giveBackHeldFrame();
    if (openedFrameBuffer == nullptr) {
        showError(kNotInitialised);
        return;
    }
    IFrame* frame = openedFrameBuffer->GetFrame();
    if (frame == nullptr) return;
    heldFrame = frame;
    if (data != nullptr) *data = frame->GetData();
    int frameWidth = 0;
    int frameHeight = 0;
    int bitsPerPixel = 0;
    frame->GetFormat(&frameWidth, &frameHeight, &bitsPerPixel);
    if (width != nullptr) *width = frameWidth;
    if (height != nullptr) *height = frameHeight;
    status = kStatusOk;
}

}  // namespace

extern "C" {

void InitDevice(int* status) {
    int ignoredStatus = kStatusFailed;
    int& result = status != nullptr ? *status : ignoredStatus;
    result = kStatusFailed;
    try {
        initDevice(result);
    } catch (...) {
        result = kStatusFailed;
        showError(std::string(kCameraNotCreated) + "\n" + describeCurrentException());
        try {
            closeOpenedDevice();
        } catch (...) {
            // The camera stays with its creator; the environment destroys it at unload.
        }
    }
}

void GrabFrame(void** data, int* width, int* height, int* status) {
    int ignoredStatus = kStatusFailed;
    int& result = status != nullptr ? *status : ignoredStatus;
    result = kStatusFailed;
    try {
        grabFrame(data, width, height, result);
    } catch (...) {
        result = kStatusFailed;
        showError(describeCurrentException());
    }
}

}  // extern "C"
