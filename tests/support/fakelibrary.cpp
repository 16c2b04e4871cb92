// A stand-in for the camera library, with its entry point: a libzmcorelib_v4.so of fake cameras
// for the element's standalone mode and for the viewer's device pool.
//
// GetEnvironment lists the cameras that ZM_FAKE_CAMERAS describes, read anew on every call:
// entries separated by ';', each one a camera and, after it, options separated by ','
//   <serial>   a camera with that serial number (an 'I' first adds an intensifier setting),
//   -          a camera without a serial-number setting,
//   !<name>    a listed camera whose creation fails,
//   ?<name>    a listed camera without a creator,
//   ~<serial>  a camera whose Open throws a library exception;
// options of a camera that is made:
//   size=<width>x<height>  its frame width and height settings (default 320 x 240),
//   grey=<0-255>           every sample of every frame is that grey (default: each frame
//                          brighter than the one before).
// A camera produces frames from Start to Stop. Every camera operation, and the unloading of this
// library, is reported to the function zmFakeCameraEvent of the loading program when it exports
// one. A description this library cannot read ends the process with a message saying why.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakedevice.h"
#include "platform/text.h"

namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;
using ZmCoreLib_v4::testing_support::FakePairIterator;
using ZmCoreLib_v4::testing_support::FakeSetting;
using EventFunction = void (*)(const char*);

constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;
constexpr unsigned kBrighterPerFrame = 0x0400;
constexpr int kMaxGrey = 255;

void report(const std::string& event) {
    if (auto notify = reinterpret_cast<EventFunction>(dlsym(RTLD_DEFAULT, "zmFakeCameraEvent")))
        notify(event.c_str());
}

[[noreturn]] void refuse(const std::string& entry, const std::string& why) {
    std::fprintf(stderr, "ZM_FAKE_CAMERAS: camera '%s': %s\n", entry.c_str(), why.c_str());
    std::abort();
}

class LibraryError final : public ZmCoreLib::ExceptionRoot {
public:
    const char* What() const override { return "fake library error"; }
};

class ThrowingDevice final : public ZmCoreLib::IDevice {
public:
    explicit ThrowingDevice(FakeDevice& inner) : inner_(inner) {}
    ZmCoreLib::IFrameBuffer* Open() override { throw LibraryError(); }
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return nullptr; }
    void Close() override { inner_.Close(); }
    ZmCoreLib::ISettingIterator* GetSettings() override { return inner_.GetSettings(); }
    void Start() override { inner_.Start(); }
    void Stop() override { inner_.Stop(); }
    void SoftwareStart() override {}

private:
    FakeDevice& inner_;
};

struct CameraOptions {
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    FakeDevice::Picture picture = [](unsigned number) { return std::uint16_t(number * kBrighterPerFrame); };
};

CameraOptions readOptions(const std::string& entry, std::istringstream& options) {
    CameraOptions result;
    std::string option;
    while (std::getline(options, option, ',')) {
        const std::size_t equals = option.find('=');
        const std::string key = option.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
        char unread = 0;
        if (key == "size") {
            char by = 0;
            std::istringstream size(value);
            if (!(size >> result.width >> by >> result.height) || by != 'x' || size >> unread)
                refuse(entry, "size '" + value + "' is not <width>x<height>");
        } else if (key == "grey") {
            int grey = -1;
            std::istringstream text(value);
            if (!(text >> grey) || text >> unread || grey < 0 || grey > kMaxGrey)
                refuse(entry, "grey '" + value + "' is not 0 to 255");
            // The same grey in the high and the low byte.
            result.picture = [sample = std::uint16_t(grey << 8 | grey)](unsigned) { return sample; };
        } else {
            refuse(entry, "option '" + option + "' is unknown");
        }
    }
    return result;
}

// The camera reports its operations as "<serial or ->@<list index>:<operation>".
std::unique_ptr<FakeDevice> makeCamera(const std::string& serial, bool withSerial, int index,
                                       CameraOptions options) {
    auto device =
        std::make_unique<FakeDevice>(options.width, options.height, platform::toUtf16(serial), withSerial);
    device->recordOperations((withSerial ? serial : "-") + "@" + std::to_string(index), report);
    device->produceFrames(std::move(options.picture));
    if (!serial.empty() && serial.front() == 'I')
        device->add(FakeSetting::makeScalar(ZmCoreLib::ids::kIccdMcpVoltage, u"Напряжение на МКП",
                                            {{ZmCoreLib::kUnitVolt, u"В", 1}}, 0, 900, 500));
    return device;
}

class Creator final : public ZmCoreLib::IDeviceCreator {
public:
    Creator(std::unique_ptr<FakeDevice> camera, bool throwsOnOpen) : camera_(std::move(camera)) {
        if (throwsOnOpen && camera_) throwing_ = std::make_unique<ThrowingDevice>(*camera_);
    }
    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IDevice* CreateDevice() override {
        if (throwing_) return throwing_.get();
        return camera_.get();
    }

private:
    std::unique_ptr<FakeDevice> camera_;
    std::unique_ptr<ThrowingDevice> throwing_;
};

class Environment final : public ZmCoreLib::IEnvironment {
public:
    explicit Environment(const std::string& description) {
        std::istringstream entries(description);
        std::string entry;
        int index = 0;
        while (std::getline(entries, entry, ';')) {
            if (entry.empty()) continue;
            std::istringstream options(entry);
            std::string camera;
            std::getline(options, camera, ',');
            if (camera.empty()) refuse(entry, "no camera before the options");
            const char kind = camera.front();
            const std::string rest = camera.substr(1);
            std::unique_ptr<Creator> creator;
            std::string name = "Fake camera " + std::to_string(index);
            if (kind == '!' || kind == '?') {
                if (!options.eof()) refuse(entry, "a camera that is not made takes no options");
                name = rest;
                if (kind == '!') creator = std::make_unique<Creator>(nullptr, false);
            } else if (kind == '-') {
                creator = std::make_unique<Creator>(makeCamera("", false, index, readOptions(entry, options)),
                                                    false);
            } else if (kind == '~') {
                creator = std::make_unique<Creator>(
                    makeCamera(rest, true, index, readOptions(entry, options)), true);
            } else {
                creator = std::make_unique<Creator>(
                    makeCamera(camera, true, index, readOptions(entry, options)), false);
            }
            names_.emplace_back(index++, platform::toUtf16(name));
            creators_.push_back(std::move(creator));
        }
    }
    ZmCoreLib::IPairIterator* GetDeviceNames() override { return new FakePairIterator(names_); }
    ZmCoreLib::IDeviceCreator* GetDeviceCreator(ZmCoreLib::IPair* entry) override {
        return creators_.at(std::size_t(entry->GetKey())).get();
    }

private:
    std::vector<FakePairIterator::Entry> names_;
    std::vector<std::unique_ptr<Creator>> creators_;
};

struct Library {
    ~Library() { report("unload"); }
    std::unique_ptr<Environment> environment;
} gLibrary;

}  // namespace

ZmCoreLib::IEnvironment* GetEnvironment() {
    const char* description = std::getenv("ZM_FAKE_CAMERAS");
    gLibrary.environment = std::make_unique<Environment>(description ? description : "");
    return gLibrary.environment.get();
}
