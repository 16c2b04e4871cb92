#include "zmcoreimpl/zmcorelib_device.h"

#include <algorithm>

#include "zmcorelib/zmcorelib.h"

namespace {

constexpr const char* kSourceUnit = "zmcoreimpl/zmcorelib_device";
// Lines reported for each misuse, fixed so that a report names the misuse whatever the build.
constexpr int kLineCopyOfOpened = 63;
constexpr int kLineAssignOpened = 78;
constexpr int kLineFindBeforeOpen = 91;
constexpr int kLineOpenTwice = 134;

[[noreturn]] void misuse(int line) {
    throw ZmCorelib_baddevice{kSourceUnit, line};
}

// Calls `visit` for every setting of `device`; the iterator is released even when `visit` throws.
template <typename Visit>
void forEachSetting(ZmCoreLib::IDevice* device, Visit visit) {
    ZmCoreLib::ISettingIterator* settings = device->GetSettings();
    if (!settings) return;
    struct Releaser {
        ZmCoreLib::ISettingIterator* it;
        ~Releaser() { it->Release(); }
    } releaser{settings};
    for (settings->First(); !settings->IsDone(); settings->Next()) visit(settings->Current());
}

}  // namespace

DeviceHolder::DeviceHolder(ZmCoreLib::IDevice* device) : device_(device) {
    try {
        forEachSetting(device_, [this](ZmCoreLib::ISetting* setting) {
            if (setting->GetId() == ZmCoreLib::ids::kCameraSerial) serial_ = setting->GetString()->GetValue();
        });
    } catch (const ZmCoreLib::ExceptionRoot&) {
        // A camera whose settings cannot be read keeps the serial number read so far.
    }
}

DeviceHolder::DeviceHolder(const DeviceHolder& other)
    : device_(other.device_), serial_(other.serial_), settings_(other.settings_) {
    if (other.opened_) misuse(kLineCopyOfOpened);
}

DeviceHolder& DeviceHolder::operator=(const DeviceHolder& other) {
    if (this == &other) return *this;
    if (opened_ || other.opened_) misuse(kLineAssignOpened);
    device_ = other.device_;
    serial_ = other.serial_;
    settings_ = other.settings_;
    return *this;
}

DeviceHolder::~DeviceHolder() {
    if (!opened_) return;
    device_->Stop();
    device_->Close();
}

void DeviceHolder::open(SettingRegistry& registry) {
    if (opened_) misuse(kLineOpenTwice);
    try {
        forEachSetting(device_, [this](ZmCoreLib::ISetting* setting) { settings_.emplace_back(setting); });
        for (const SettingItem& item : settings_) registry.add(item);
        opened_ = true;
        device_->Open();
        device_->Start();
    } catch (const ZmCoreLib::ExceptionRoot&) {
        // The camera stays as far as it got; its pictures simply do not come.
    } catch (const ZmCoreLib::FrameBufferException&) {
        // Start() found a frame still held; the camera stays stopped.
    }
}

SettingItem* DeviceHolder::find(const SettingItem& other) {
    if (!opened_) misuse(kLineFindBeforeOpen);
    const auto found = std::find_if(settings_.begin(), settings_.end(),
                                    [&other](const SettingItem& item) { return item.sameSetting(other); });
    return found == settings_.end() ? nullptr : &*found;
}

int DeviceHolder::maxNameLength() const {
    int longest = 0;
    for (const SettingItem& item : settings_) longest = std::max(longest, int(item.name().size()));
    return longest;
}

int DeviceHolder::maxValueLength() const {
    int longest = 0;
    for (const SettingItem& item : settings_) longest = std::max(longest, item.maxTextLength());
    return longest;
}
