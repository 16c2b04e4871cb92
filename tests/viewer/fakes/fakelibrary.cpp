// A camera library stand-in with the real library's entry point, for the device pool's tests.
//
// GetEnvironment lists the cameras that ZM_FAKE_CAMERAS describes, read anew on every call:
// entries separated by ';', each one
//   <serial>   a camera with that serial number (an 'I' first adds an intensifier setting) that
//              produces 320 x 240 frames (its width and height settings) while it is open,
//   -          a camera without a serial-number setting,
//   !<name>    a listed camera whose creation fails,
//   ?<name>    a listed camera without a creator,
//   ~<serial>  a camera whose Open throws a library exception.
// Every camera operation, and the unloading of this library, is reported to the function
// zmFakeCameraEvent of the loading program when it exports one.
#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakecamera.h"
#include "platform/text.h"

namespace {

using EventFunction = void (*)(const char*);

void report(const std::string& event) {
    if (auto notify = reinterpret_cast<EventFunction>(dlsym(RTLD_DEFAULT, "zmFakeCameraEvent")))
        notify(event.c_str());
}

class LibraryError final : public ZmCoreLib::ExceptionRoot {
public:
    const char* What() const override { return "fake library error"; }
};

class ThrowingDevice final : public ZmCoreLib::IDevice {
public:
    explicit ThrowingDevice(fake::Device& inner) : inner_(inner) {}
    ZmCoreLib::IFrameBuffer* Open() override { throw LibraryError(); }
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return nullptr; }
    void Close() override { inner_.Close(); }
    ZmCoreLib::ISettingIterator* GetSettings() override { return inner_.GetSettings(); }
    void Start() override { inner_.Start(); }
    void Stop() override { inner_.Stop(); }
    void SoftwareStart() override {}

private:
    fake::Device& inner_;
};

// The camera reports its operations as "<serial or ->@<list index>:<operation>".
std::unique_ptr<fake::Device> makeCamera(const std::string& serial, bool withSerial, int index) {
    auto device =
        std::make_unique<fake::Device>((withSerial ? serial : "-") + "@" + std::to_string(index), report);
    if (withSerial)
        device->add(fake::Setting::makeString(ZmCoreLib::ids::kCameraSerial, u"Серийный номер камеры",
                                              platform::toUtf16(serial)));
    device->add(fake::Setting::makeEnum(0x3003, u"Усиление", {{0x5005, u"0 dB"}, {0x5006, u"6 dB"}}, 0x5005));
    device->add(fake::Setting::makeScalar(
        0x3004, u"Длительность экспозиции",
        {{ZmCoreLib::kUnitMicrosecond, u"мкс", 1000}, {ZmCoreLib::kUnitMillisecond, u"мс", 1000000}}, 1000,
        5000000, 20000));
    const std::vector<fake::Unit> pixels = {{ZmCoreLib::kUnitPixel, u"пкс", 1}};
    device->add(fake::Setting::makeScalar(ZmCoreLib::ids::kFrameWidth, u"Размер кадра: Ширина", pixels, 16,
                                          1024, 320));
    device->add(fake::Setting::makeScalar(ZmCoreLib::ids::kFrameHeight, u"Размер кадра: Высота", pixels, 16,
                                          1024, 240));
    if (!serial.empty() && serial.front() == 'I')
        device->add(fake::Setting::makeScalar(0x3203, u"Напряжение на МКП", {{ZmCoreLib::kUnitVolt, u"В", 1}},
                                              0, 900, 500));
    return device;
}

class Creator final : public ZmCoreLib::IDeviceCreator {
public:
    Creator(std::unique_ptr<fake::Device> camera, bool throwsOnOpen) : camera_(std::move(camera)) {
        if (throwsOnOpen && camera_) throwing_ = std::make_unique<ThrowingDevice>(*camera_);
    }
    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IDevice* CreateDevice() override {
        if (throwing_) return throwing_.get();
        return camera_.get();
    }

private:
    std::unique_ptr<fake::Device> camera_;
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
            const char kind = entry.front();
            const std::string rest = entry.substr(1);
            std::unique_ptr<Creator> creator;
            std::string name = "Fake camera " + std::to_string(index);
            if (kind == '!') {
                name = rest;
                creator = std::make_unique<Creator>(nullptr, false);
            } else if (kind == '?') {
                name = rest;
            } else if (kind == '-') {
                creator = std::make_unique<Creator>(makeCamera("", false, index), false);
            } else if (kind == '~') {
                creator = std::make_unique<Creator>(makeCamera(rest, true, index), true);
            } else {
                creator = std::make_unique<Creator>(makeCamera(entry, true, index), false);
            }
            names_.emplace_back(index++, platform::toUtf16(name));
            creators_.push_back(std::move(creator));
        }
    }
    ZmCoreLib::IPairIterator* GetDeviceNames() override { return new fake::PairIterator(names_); }
    ZmCoreLib::IDeviceCreator* GetDeviceCreator(ZmCoreLib::IPair* entry) override {
        return creators_.at(size_t(entry->GetKey())).get();
    }

private:
    std::vector<fake::PairIterator::Entry> names_;
    std::vector<std::unique_ptr<Creator>> creators_;
};

struct Library {
    ~Library() { report("unload"); }
    std::unique_ptr<Environment> environment;
} gLibrary;

}  // namespace

extern "C" __attribute__((visibility("default"))) ZmCoreLib::IEnvironment* GetEnvironment() {
    const char* description = std::getenv("ZM_FAKE_CAMERAS");
    gLibrary.environment = std::make_unique<Environment>(description ? description : "");
    return gLibrary.environment.get();
}
