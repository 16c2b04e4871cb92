// A stand-in libzmcorelib_v4.so for pipeline tests of the element's standalone mode: two cameras,
// listed out of serial-number order, each producing 16-bit frames on a thread of its own.
//   serial "B2": 64 x 48, every sample 0xC0xx (grey 192)
//   serial "A1": 80 x 60, every sample 0x40xx (grey 64)
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "fakecamera.h"
#include "zmcorelib/zmcorelib.h"

namespace {

constexpr auto kFramePeriod = std::chrono::milliseconds(20);

class ProducingCamera final : public ZmCoreLib::IDevice {
public:
    ProducingCamera(int width, int height, std::u16string serial, std::uint16_t sample)
        : device_(width, height, std::move(serial)), width_(width), height_(height), sample_(sample) {}
    ~ProducingCamera() { Stop(); }

    ZmCoreLib::IFrameBuffer* Open() override { return device_.Open(); }
    void Close() override { Stop(); }
    ZmCoreLib::ISettingIterator* GetSettings() override { return device_.GetSettings(); }
    ZmCoreLib::ISetting* FindSetting(unsigned id) override { return device_.FindSetting(id); }
    ZmCoreLib::IFrameBuffer* GetFrameBuffer() override { return device_.GetFrameBuffer(); }
    void Start() override {
        Stop();
        running_ = true;
        producer_ = std::thread([this] {
            const std::vector<std::uint16_t> frame(static_cast<std::size_t>(width_) * height_, sample_);
            while (running_) {
                device_.buffer().commit16(width_, height_, frame);
                std::this_thread::sleep_for(kFramePeriod);
            }
        });
    }
    void Stop() override {
        running_ = false;
        if (producer_.joinable()) producer_.join();
    }
    void SoftwareStart() override {}

private:
    fake::Device device_;
    int width_, height_;
    std::uint16_t sample_;
    std::atomic<bool> running_{false};
    std::thread producer_;
};

class Name final : public ZmCoreLib::IPair {
public:
    explicit Name(int key) : key_(key) {}
    int GetKey() override { return key_; }
    const char16_t* GetName() override { return u"Fake camera"; }

private:
    int key_;
};

class Names final : public ZmCoreLib::IPairIterator {
public:
    explicit Names(std::vector<Name>& names) : names_(names) {}
    void First() override { position_ = 0; }
    bool IsDone() override { return position_ >= names_.size(); }
    void Next() override { ++position_; }
    void Release() override { delete this; }
    ZmCoreLib::IPair* Current() override { return &names_.at(position_); }

private:
    std::vector<Name>& names_;
    std::size_t position_ = 0;
};

class Creator final : public ZmCoreLib::IDeviceCreator {
public:
    explicit Creator(ProducingCamera& camera) : camera_(camera) {}
    ZmCoreLib::ISettingIterator* GetSettings() override { return nullptr; }
    ZmCoreLib::IDevice* CreateDevice() override { return &camera_; }

private:
    ProducingCamera& camera_;
};

class Environment final : public ZmCoreLib::IEnvironment {
public:
    Environment() {
        cameras_.push_back(std::make_unique<ProducingCamera>(64, 48, u"B2", 0xC055));
        cameras_.push_back(std::make_unique<ProducingCamera>(80, 60, u"A1", 0x4055));
        for (auto& camera : cameras_) creators_.push_back(std::make_unique<Creator>(*camera));
        for (int i = 0; i < static_cast<int>(cameras_.size()); ++i) names_.emplace_back(i);
    }
    ZmCoreLib::IPairIterator* GetDeviceNames() override { return new Names(names_); }
    ZmCoreLib::IDeviceCreator* GetDeviceCreator(ZmCoreLib::IPair* entry) override {
        return creators_.at(static_cast<std::size_t>(entry->GetKey())).get();
    }

private:
    std::vector<std::unique_ptr<ProducingCamera>> cameras_;
    std::vector<std::unique_ptr<Creator>> creators_;
    std::vector<Name> names_;
};

}  // namespace

extern "C" ZmCoreLib::IEnvironment* GetEnvironment() {
    static Environment environment;
    return &environment;
}

extern "C" void InitDevice(int* status) {
    *status = -1;
}

extern "C" void GrabFrame(void**, int*, int*, int* status) {
    *status = -1;
}
