#include "zmcoreimpl/zmcorelib_devicepool.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/concurrently.h"
#include "platform/text.h"
#include "zmcorelib/zmcorelib.h"

namespace {

constexpr const char* kSourceUnit = "zmcoreimpl/zmcorelib_devicepool";
// Lines reported for each failure, fixed so that a report names the failure whatever the build.
constexpr int kLineLoadFailed = 23;
constexpr int kLineNoEntryPoint = 31;
constexpr int kLineNoDevice = 40;
constexpr int kLineCreateFailed = 63;

[[noreturn]] void fail(int line, const std::string& message) {
    throw CBad_device_pool(kSourceUnit, line, message);
}

// Why the camera listed as `name` is left out: another camera has its serial number `serial`.
std::string leftOutText(const char16_t* name, const std::u16string& serial) {
    const std::string camera = "Камера \"" + platform::toUtf8(name) + "\" не показана: ";
    if (serial.empty()) return camera + "у неё, как и у другой камеры, нет серийного номера";
    return camera + "её серийный номер " + platform::toUtf8(serial) + " уже у другой камеры";
}

// Releases a library iterator on every way out of a scope.
struct PairIteratorReleaser {
    ZmCoreLib::IPairIterator* it;
    ~PairIteratorReleaser() { it->Release(); }
};

}  // namespace

CBad_device_pool::CBad_device_pool(const char* file, int line, const std::string& message)
    : text_(std::string("File name: ") + file + '\n' + "Line: " + std::to_string(line) + '\n' + message) {}

void CBad_device_pool::describe(std::string& out) const {
    out = text_;
}

DevicePool& DevicePool::instance() {
    static DevicePool pool;
    return pool;
}

DevicePool::DevicePool(const std::string& libraryFile, SettingRegistry& registry) {
    if (!library_.loadBesideCaller(libraryFile)) fail(kLineLoadFailed, "Failed to load zmcorelib_v4 library");
    auto getEnvironment = reinterpret_cast<GetEnvironmentFunction>(library_.symbol("GetEnvironment"));
    if (!getEnvironment) fail(kLineNoEntryPoint, "Wrong version of library or file corrupted");

    ZmCoreLib::IEnvironment* environment = getEnvironment();
    ZmCoreLib::IPairIterator* names = environment ? environment->GetDeviceNames() : nullptr;
    if (!names) fail(kLineNoDevice, "No device found");
    {
        PairIteratorReleaser releaser{names};
        if (names->IsDone()) fail(kLineNoDevice, "No device found");
        struct Listed {
            std::u16string name;
            ZmCoreLib::IDeviceCreator* creator;
            ZmCoreLib::IDevice* device = nullptr;
        };
        std::vector<Listed> listed;
        for (names->First(); !names->IsDone(); names->Next()) {
            if (ZmCoreLib::IDeviceCreator* creator = environment->GetDeviceCreator(names->Current()))
                listed.push_back({names->Current()->GetName(), creator});
        }
        // Each camera takes its FPGA configuration over its own link: all are brought up at once.
        platform::runConcurrently(
            listed.size(), [&](std::size_t i) { listed[i].device = listed[i].creator->CreateDevice(); });
        for (const Listed& camera : listed) {
            if (!camera.device)
                fail(kLineCreateFailed,
                     "Failed to create device; Device name: " + platform::toUtf8(camera.name));
            DeviceHolder holder(camera.device);
            // The first camera with a serial number wins, in list order; the user is told of every other one.
            if (!devices_.emplace(holder.serial(), holder).second) {
                leftOut_.push_back(leftOutText(camera.name.c_str(), holder.serial()));
                std::fprintf(stderr, "%s\n", leftOut_.back().c_str());
            }
        }
    }
    // Every listed camera may have been skipped for lack of a creator; the viewer needs one.
    if (devices_.empty()) fail(kLineNoDevice, "No device found");
    for (auto& entry : devices_) entry.second.open(registry);
}

DevicePool::~DevicePool() {
    // Cameras close in camera order, all before the library member unloads the library.
    while (!devices_.empty()) devices_.erase(devices_.begin());
}

DeviceHolder* DevicePool::at(int index) {
    if (index < 0 || index >= size()) return nullptr;
    return &std::next(devices_.begin(), index)->second;
}
