#include "standalonecameras.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "platform/concurrently.h"
#include "platform/text.h"
#include "zmcorelib/zmcorelib.h"

namespace ZenmiraVidSource {

namespace {

constexpr char kLibraryFile[] = "libzmcorelib_v4.so";

std::u16string serialOf(ZmCoreLib::IDevice* device) {
    ZmCoreLib::ISetting* setting = device->FindSetting(ZmCoreLib::ids::kCameraSerial);
    ZmCoreLib::ISettingString* text = setting ? setting->GetString() : nullptr;
    const char16_t* value = text ? text->GetValue() : nullptr;
    return value ? value : u"";
}

// Runs a library call; a library exception becomes the text of the failure.
template <typename Call>
bool guarded(Call call, std::string& error, const std::string& what) {
    try {
        return call();
    } catch (const ZmCoreLib::ExceptionRoot& e) {
        error = what + ": " + e.What();
    } catch (const ZmCoreLib::FrameBufferException& e) {
        error = what + ": " + platform::toUtf8(e.message());
    } catch (const std::exception& e) {
        error = what + ": " + e.what();
    }
    return false;
}

}  // namespace

StandaloneCameras::~StandaloneCameras() {
    closeAll();
}

bool StandaloneCameras::discover() {
    if (!devices_.empty()) return true;
    if (!library_.loaded() && !library_.loadBesideCaller(kLibraryFile)) {
        error_ = std::string("Cannot load the camera library ") + kLibraryFile + ": " + library_.error() +
                 ". Install it beside the plugin's folder or add its folder to LD_LIBRARY_PATH.";
        return false;
    }
    auto getEnvironment = reinterpret_cast<GetEnvironmentFunction>(library_.symbol("GetEnvironment"));
    if (!getEnvironment) {
        error_ = std::string(kLibraryFile) + " has no GetEnvironment: " + library_.error();
        return false;
    }
    std::vector<std::pair<std::u16string, ZmCoreLib::IDevice*>> found;
    const bool listed = guarded(
        [&] {
            ZmCoreLib::IEnvironment* environment = getEnvironment();
            if (!environment) return false;
            ZmCoreLib::IPairIterator* names = environment->GetDeviceNames();
            if (!names) return false;
            std::vector<ZmCoreLib::IDeviceCreator*> creators;
            for (names->First(); !names->IsDone(); names->Next()) {
                if (ZmCoreLib::IDeviceCreator* creator = environment->GetDeviceCreator(names->Current()))
                    creators.push_back(creator);
            }
            names->Release();
            // Each camera takes its FPGA configuration over its own link: all are brought up at once.
            std::vector<ZmCoreLib::IDevice*> devices(creators.size());
            platform::runConcurrently(creators.size(),
                                      [&](std::size_t i) { devices[i] = creators[i]->CreateDevice(); });
            for (ZmCoreLib::IDevice* device : devices) {
                if (device) found.emplace_back(serialOf(device), device);
            }
            return true;
        },
        error_, "The camera library failed while listing cameras");
    if (!listed) return false;
    if (found.empty()) {
        error_ = "No camera was found. Connect a camera (and check its USB access rights), then start again.";
        return false;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : found) devices_.push_back(entry.second);
    return true;
}

bool StandaloneCameras::openAll() {
    error_.clear();
    for (ZmCoreLib::IDevice* device : devices_) {
        if (std::find(open_.begin(), open_.end(), device) != open_.end()) continue;
        const bool opened = guarded(
            [&] {
                if (!device->Open()) return false;
                open_.push_back(device);
                device->Start();
                return true;
            },
            error_, "A camera could not be started");
        if (!opened) {
            if (error_.empty())
                error_ = "A camera could not be opened. Check its connection and start again.";
            closeAll();
            return false;
        }
    }
    return true;
}

void StandaloneCameras::closeAll() {
    for (ZmCoreLib::IDevice* device : open_) {
        std::string ignored;
        guarded(
            [&] {
                device->Stop();
                device->Close();
                return true;
            },
            ignored, "");
    }
    open_.clear();
}

}  // namespace ZenmiraVidSource
