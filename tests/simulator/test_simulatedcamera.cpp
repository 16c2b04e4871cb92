// Simulated cameras driven through the library's own USB access layer and FX2 hardware layer, as
// the camera objects drive real cameras: identity after a firmware download, configuration
// recognition, the probe, registers, the frame stream in both wire formats, and the faults.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "hardware/hwlayerusbfx2.h"
#include "hardware/simdriver/simulatordriver.h"
#include "hardware/usb/usbdevice.h"
#include "simulator/busclock.h"
#include "simulator/cameraconfig.h"
#include "simulator/configurationfile.h"
#include "simulator/framepattern.h"
#include "simulator/hardwaremodel.h"
#include "simulator/simulatedbus.h"

namespace {

using namespace std::chrono_literals;
using simulator::FrameGeometry;
using ZmCoreLib_v4::HwLayerUsbFx2;
using ZmCoreLib_v4::SimulatorDriver;
using ZmCoreLib_v4::UsbDevice;

// Registers of the 0xE2 window (no fibre-optic offset) and the request codes around them.
constexpr unsigned kFifoReset = 0xE00000;
constexpr unsigned kControl = 0xE20000;
constexpr unsigned kBufferManager = 0xE2000C;
constexpr unsigned kTransferLength = 0xE2000D;
constexpr unsigned kVersion = 0xE2000F;
constexpr unsigned kFibreTypeRegister = 0xE2006D;
constexpr unsigned kAcquisitionEnable = 1u << 2;
constexpr unsigned kAcquire = 1u << 0;

template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class SimulatedCameraTest : public testing::Test {
protected:
    void makeBus(const char* cameras, unsigned busRateMBps = 0) {
        bus_ = std::make_shared<simulator::SimulatedBus>(simulator::parseCameraSet(cameras), busRateMBps);
        driver_ = std::make_unique<SimulatorDriver>(bus_);
    }
    simulator::SimulatedCamera& camera(int i = 0) { return *bus_->cameras()[static_cast<std::size_t>(i)]; }
    bool configure(HwLayerUsbFx2& layer, const std::string& file) {
        return ZmCoreLib_v4::loadFpgaConfiguration(layer, "./" + file) == 0;
    }

    std::shared_ptr<simulator::SimulatedBus> bus_;
    std::unique_ptr<SimulatorDriver> driver_;
};

// ---- controller ----

void writeMemory(UsbDevice& device, std::uint16_t address, std::vector<std::uint8_t> bytes) {
    auto* control = device.controlEndPoint();
    control->requestType = ZmCoreLib_v4::CCyControlEndPoint::kRequestVendor;
    control->requestCode = 0xA0;
    control->value = address;
    control->index = 0;
    auto length = static_cast<std::uint32_t>(bytes.size());
    ASSERT_TRUE(control->Write(bytes.data(), length));
}

TEST_F(SimulatedCameraTest, ReleasedCpuAttachesAgainWithTheLoadedDescriptorsIdentity) {
    makeBus("pid=0x2115");
    UsbDevice device(ZmCoreLib_v4::kCameraInterfaceClass, false, *driver_);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.productId(), 0x2115);
    writeMemory(device, 0xE600, {0x01});
    // A device descriptor naming product 0x6120, release 2, where the firmware keeps it.
    writeMemory(device, 0x08CA,
                {0x12, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x40, 0x10, 0xAB, 0x20, 0x61, 0x02, 0x00});
    writeMemory(device, 0xE600, {0x00});
    // The camera has left the bus: the open handle is stale.
    EXPECT_FALSE(device.CyclePort());
    device.Close();
    ASSERT_TRUE(eventually([&] { return device.DeviceCount() == 1 && device.Open(0); }));
    EXPECT_EQ(device.vendorId(), 0xAB10);
    EXPECT_EQ(device.productId(), 0x6120);
    EXPECT_EQ(device.deviceRelease(), 2);
    EXPECT_EQ(camera().log().firmwareDownloads(), 1);
}

TEST_F(SimulatedCameraTest, ImageWithoutDescriptorNeverAttachesAgain) {
    makeBus("pid=0x2115");
    UsbDevice device(ZmCoreLib_v4::kCameraInterfaceClass, false, *driver_);
    ASSERT_TRUE(device.Open(0));
    writeMemory(device, 0xE600, {0x01});
    writeMemory(device, 0x0000, {0x02, 0x01, 0x00});
    writeMemory(device, 0xE600, {0x00});
    device.Close();
    std::this_thread::sleep_for(2 * simulator::SimulatedCamera::kReattachDelay);
    EXPECT_EQ(device.DeviceCount(), 0);
}

TEST_F(SimulatedCameraTest, BootIdentityAnswersNoCameraRequests) {
    makeBus("pid=0x2115");
    HwLayerUsbFx2 layer(0, *driver_);
    EXPECT_FALSE(configure(layer, "zmu2120.bit") && layer.ReadRegister(kVersion) != 0);
    EXPECT_EQ(camera().log().registerWrites().size(), 0u);
}

// ---- FPGA configuration ----

struct ConfigurationCase {
    const char* camera;
    const char* file;
    bool works;
};

void PrintTo(const ConfigurationCase& c, std::ostream* os) {
    *os << c.camera << " loading " << c.file;
}

class ConfigurationRecognition : public SimulatedCameraTest,
                                 public testing::WithParamInterface<ConfigurationCase> {};

TEST_P(ConfigurationRecognition, FpgaWorksOnlyWithTheFileItsBoardExpects) {
    makeBus(GetParam().camera);
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(layer.isOpen());
    ASSERT_TRUE(configure(layer, GetParam().file));
    EXPECT_EQ(layer.ReadRegister(kVersion), GetParam().works ? 0x020011u : 0u);
    const auto events = camera().log().events();
    ASSERT_FALSE(events.empty());
    EXPECT_NE(events.back().find(GetParam().works ? "configured with" : "does not fit"), std::string::npos)
        << events.back();
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigurationRecognition,
                         testing::Values(ConfigurationCase{"pid=0x2120", "zmu2120.bit", true},
                                         ConfigurationCase{"pid=0x2120", "zmu2124.bit", false},
                                         ConfigurationCase{"pid=0x2124", "zmu2124.bit", true},
                                         ConfigurationCase{"pid=0x2200", "zmu2200.bit", true},
                                         ConfigurationCase{"pid=0x2310", "zmu2310.bit", true},
                                         ConfigurationCase{"pid=0x2310", "zmu0100.bit", false}));

TEST_F(SimulatedCameraTest, CorruptedOrForeignStreamLeavesTheFpgaUnconfigured) {
    makeBus("pid=0x2120");
    HwLayerUsbFx2 layer(0, *driver_);
    std::ifstream original("zmu2120.bit", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1000u);
    bytes[bytes.size() / 2] ^= 0x40;
    const std::string damaged = testing::TempDir() + "damaged.bit";
    std::ofstream(damaged, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(ZmCoreLib_v4::loadFpgaConfiguration(layer, damaged), 0);
    EXPECT_EQ(layer.ReadRegister(kVersion), 0u);
    // A fresh load after the reset requests brings it up.
    ASSERT_TRUE(configure(layer, "zmu2120.bit"));
    EXPECT_EQ(layer.ReadRegister(kVersion), 0x020011u);
}

TEST(ConfigurationFiles, BuildMadeEveryFileTheBoardsUse) {
    for (const auto& spec : simulator::configurationFiles()) {
        std::ifstream file(std::string(spec.fileName), std::ios::binary);
        ASSERT_TRUE(file) << spec.fileName << " is missing from the working directory";
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.size(), spec.size);
        EXPECT_EQ(simulator::recogniseConfiguration(bytes), std::string(spec.fileName));
    }
}

// ---- probe, registers, queries ----

TEST_F(SimulatedCameraTest, ProbeIdentityShowsTypeWordAfterThePulse) {
    makeBus("pid=0x2030,type=0x6214,channel=20");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, simulator::kProbeConfigurationFile.data()));
    EXPECT_EQ(layer.ReadRegister(kFibreTypeRegister), 0u);
    layer.WriteRegister(kBufferManager, 1);
    layer.WriteRegister(kBufferManager, 0);
    EXPECT_EQ(layer.ReadRegister(kFibreTypeRegister), 0x621414u);
}

std::vector<std::uint8_t> query(HwLayerUsbFx2& layer, unsigned address) {
    const std::uint8_t command = 0x80;
    layer.VendorWrite(0, address, &command, 1);
    std::vector<std::uint8_t> answer(8);
    layer.VendorRead(0, address, answer.data(), 8);
    return answer;
}

TEST_F(SimulatedCameraTest, SerialQueriesAnswerByWindowAndFibreOptic) {
    makeBus("pid=0x2120,serial=4660,serial2=22136;pid=0x9100,serial=258,serial2=772,controller=1286");
    HwLayerUsbFx2 plain(0, *driver_);
    ASSERT_TRUE(configure(plain, "zmu2120.bit"));
    EXPECT_EQ(query(plain, 0xE20050), (std::vector<std::uint8_t>{0x80, 0x50, 0, 0, 0x34, 0x12, 0x78, 0x56}));
    HwLayerUsbFx2 fibre(1, *driver_);
    ASSERT_TRUE(configure(fibre, "zmu0200n.bit"));
    EXPECT_EQ(query(fibre, 0xE20051), (std::vector<std::uint8_t>{0x80, 0x51, 0, 0, 0x02, 0x01, 0x04, 0x03}));
    EXPECT_EQ(query(fibre, 0xE20050), (std::vector<std::uint8_t>{0x80, 0x50, 0, 0, 0x06, 0x05, 0, 0}));
}

TEST_F(SimulatedCameraTest, IntensifierModuleAndTemperatureRegisters) {
    makeBus("pid=0x212E,module=4");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu212e.bit"));
    camera().setTemperatures(35, 260);
    EXPECT_EQ(layer.ReadRegister(kControl), (35u << 12) | 260u);
    // Module address and data registers of a family B camera without the fibre-optic offset.
    layer.WriteRegister(0xE2000A, 0);
    layer.WriteRegister(0xE2000B, 0);
    EXPECT_EQ((layer.ReadRegister(0xE2000B) >> 16) & 0x1F, 4u);
    layer.WriteRegister(0xE2000A, 3);
    layer.WriteRegister(0xE2000B, 750);
    EXPECT_EQ(camera().moduleRegister(3), 750u);
    // Reading the module type back never overwrote it.
    layer.WriteRegister(0xE2000A, 0);
    EXPECT_EQ((layer.ReadRegister(0xE2000B) >> 16) & 0x1F, 4u);
}

TEST_F(SimulatedCameraTest, RegisterWritesAreLoggedInOrder) {
    makeBus("pid=0x2200");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu2200.bit"));
    camera().log().clear();
    layer.WriteRegister(0xE20001, 0x0186A0);
    layer.WriteRegister(0xE30008, 0x080002);
    EXPECT_EQ(camera().log().registerWrites(),
              (std::vector<simulator::RegisterWrite>{{0xE20001, 0x0186A0}, {0xE30008, 0x080002}}));
}

// ---- frames ----

// Waits for the ready flag of `slot`, selects it as the library does and reads `bytes` bytes.
bool readSlot(HwLayerUsbFx2& layer, int slot, std::vector<std::uint8_t>& data) {
    if (!eventually([&] { return (layer.ReadRegister(kBufferManager) >> (8 + slot)) & 1; })) return false;
    const unsigned image = kAcquisitionEnable;
    layer.WriteRegister(kFifoReset, 0);
    layer.WriteRegister(kBufferManager, image | static_cast<unsigned>(slot) << 21);
    layer.WriteRegister(kBufferManager, image | 2);
    layer.WriteRegister(kTransferLength, static_cast<unsigned>(data.size()) & ~1u);
    const int length = static_cast<int>(data.size());
    const bool read = layer.ReadData(data.data(), &length, 1000);
    layer.WriteRegister(kBufferManager, image | 2 | (1u << (8 + slot)));
    return read;
}

std::uint32_t frameNumberOf(const std::vector<std::uint16_t>& samples, const FrameGeometry& g, int bits) {
    return simulator::patternFrameNumber(samples[0], g.y, g.x, bits);
}

void expectPattern(const std::vector<std::uint16_t>& samples, const FrameGeometry& g, int bits,
                   std::uint32_t frame) {
    int wrong = 0;
    for (std::uint32_t r = 0; r < g.height; ++r) {
        for (std::uint32_t c = 0; c < g.width; ++c) {
            if (samples[r * g.width + c] != simulator::patternPixel(frame, g, r, c, bits)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels off the pattern of frame " << frame;
}

TEST_F(SimulatedCameraTest, FamilyAStreamsSixteenBitSamplesMostSignificantByteFirst) {
    makeBus("pid=0x2200");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu2200.bit"));
    const FrameGeometry g{4, 2, 40, 6, 2, 1};
    layer.WriteRegister(0xE20004, (g.x << 12) | g.y);                      // position
    layer.WriteRegister(0xE20005, ((g.width * g.binX) << 12) | g.height);  // size
    layer.WriteRegister(0xE20006, ((g.binX - 1) << 8) | (g.binY - 1));     // binning
    layer.WriteRegister(0xE20001, 10000);                                  // frame period 10 ms
    layer.WriteRegister(0xE20002, 1000);                                   // exposure 1 ms
    layer.WriteRegister(kControl, kAcquire);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable);

    std::uint32_t previous = 0;
    for (int slot = 0; slot < 2; ++slot) {
        std::vector<std::uint8_t> data(g.width * g.height * 2);
        ASSERT_TRUE(readSlot(layer, slot, data));
        std::vector<std::uint16_t> samples;
        for (std::size_t i = 0; i < data.size(); i += 2)
            samples.push_back(static_cast<std::uint16_t>(data[i] << 8 | data[i + 1]));
        const std::uint32_t frame = frameNumberOf(samples, g, 16);
        EXPECT_EQ(frame, previous + 1) << "slots are filled in order, one frame each";
        expectPattern(samples, g, 16, frame);
        previous = frame;
    }
}

// Unpacks family B's wire format as the library does: three big-endian words per four pixels.
std::vector<std::uint16_t> unpack12(std::vector<std::uint8_t> data, std::size_t pixels) {
    data.resize((pixels + 3) / 4 * 6);  // a transfer may end inside the last group
    std::vector<std::uint16_t> samples;
    for (std::size_t i = 0; samples.size() < pixels; i += 6) {
        const unsigned a = data[i] << 8 | data[i + 1];
        const unsigned b = data[i + 2] << 8 | data[i + 3];
        const unsigned c = data[i + 4] << 8 | data[i + 5];
        for (unsigned pixel : {a & 0xFFF0, (b & 0xFF00) | ((a & 0xF) << 4), (c & 0xF000) | ((b & 0xFF) << 4),
                               (c & 0xFFF) << 4}) {
            samples.push_back(static_cast<std::uint16_t>(pixel >> 4));
        }
    }
    samples.resize(pixels);
    return samples;
}

TEST_F(SimulatedCameraTest, FamilyBStreamsPackedTwelveBitSamplesAtTheProgrammedBinning) {
    makeBus("pid=0x2120");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu2120.bit"));
    const FrameGeometry g{0, 8, 10, 5, 1, 2};  // 50 pixels: the last packed group is partial
    layer.WriteRegister(0xE20005, (g.x << 12) | g.y);
    layer.WriteRegister(0xE20006, (g.width << 12) | (g.height * g.binY));
    layer.WriteRegister(0xE20001, 0x800000 | 9);  // frame period 10 ms (sent less one)
    const unsigned control = ((g.binY - 1) << 7) | kAcquire;
    layer.WriteRegister(kControl, control);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable);

    std::vector<std::uint8_t> data((g.width * g.height * 6 / 4 + 4) & ~3u);
    ASSERT_TRUE(readSlot(layer, 0, data));
    const auto samples = unpack12(data, g.width * g.height);
    expectPattern(samples, g, 12, frameNumberOf(samples, g, 12));
}

TEST_F(SimulatedCameraTest, SoftwareStartCapturesOneFrameInSoftwareTriggerMode) {
    makeBus("pid=0x2120");
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu2120.bit"));
    const unsigned softwareTrigger = (3u << 10) | kAcquire;
    layer.WriteRegister(kControl, softwareTrigger);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(camera().framesCaptured(), 0u);
    layer.WriteRegister(kControl, softwareTrigger | (1u << 13));
    layer.WriteRegister(kControl, softwareTrigger);
    EXPECT_TRUE(eventually([&] { return camera().framesCaptured() == 1; }));
    EXPECT_EQ((layer.ReadRegister(kBufferManager) >> 8) & 0xFF, 1u);
}

// ---- faults ----

class BulkFault : public SimulatedCameraTest {
protected:
    void SetUp() override {
        makeBus("pid=0x2200");
        layer_ = std::make_unique<HwLayerUsbFx2>(0, *driver_);
        ASSERT_TRUE(configure(*layer_, "zmu2200.bit"));
        layer_->WriteRegister(0xE20005, (64u << 12) | 16u);
        layer_->WriteRegister(0xE20001, 10000);
        layer_->WriteRegister(kControl, kAcquire);
        layer_->WriteRegister(kBufferManager, kAcquisitionEnable);
    }
    std::vector<std::uint8_t> frame_ = std::vector<std::uint8_t>(64 * 16 * 2);
    std::unique_ptr<HwLayerUsbFx2> layer_;
};

TEST_F(BulkFault, TimeOutFailsTheReadAbortsAndLeavesTheCameraUsable) {
    camera().injectBulkTimeout();
    EXPECT_FALSE(readSlot(*layer_, 0, frame_));
    bool aborted = false;
    for (const auto& entry : camera().log().snapshot()) {
        aborted = aborted || entry.kind == simulator::LoggedRequest::Kind::Abort;
    }
    EXPECT_TRUE(aborted);
    EXPECT_TRUE(readSlot(*layer_, 1, frame_));
}

TEST_F(BulkFault, StallHaltsTheEndpointUntilThePipeIsReset) {
    camera().injectBulkStall();
    EXPECT_FALSE(readSlot(*layer_, 0, frame_));
    EXPECT_TRUE(readSlot(*layer_, 1, frame_));
}

TEST_F(BulkFault, ShortFrameFailsTheRead) {
    camera().injectShortFrame(100);
    EXPECT_FALSE(readSlot(*layer_, 0, frame_));
    EXPECT_TRUE(readSlot(*layer_, 1, frame_));
}

TEST_F(BulkFault, UnpluggedCameraFailsEveryRequestAndLeavesTheBus) {
    camera().unplug();
    EXPECT_FALSE(readSlot(*layer_, 0, frame_));
    EXPECT_EQ(layer_->ReadRegister(kVersion), 0u);
    EXPECT_TRUE(bus_->attachedCameras().empty());
}

// ---- leaving the bus and coming back ----

TEST_F(SimulatedCameraTest, ReplugPowersUpWithTheBootIdentityInANewGeneration) {
    makeBus("pid=0x2115");
    UsbDevice device(ZmCoreLib_v4::kCameraInterfaceClass, false, *driver_);
    ASSERT_TRUE(device.Open(0));
    writeMemory(device, 0xE600, {0x01});
    writeMemory(device, 0x08CA,
                {0x12, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x40, 0x10, 0xAB, 0x20, 0x61, 0x02, 0x00});
    writeMemory(device, 0xE600, {0x00});
    device.Close();
    ASSERT_TRUE(eventually([&] { return device.DeviceCount() == 1 && device.Open(0); }));
    ASSERT_EQ(device.productId(), 0x6120);
    const std::uint64_t running = *camera().attachedGeneration();

    camera().unplug();
    EXPECT_TRUE(bus_->attachedCameras().empty());
    camera().replug();
    const auto attached = bus_->attachedCameras();
    ASSERT_EQ(attached.size(), 1u);
    EXPECT_GT(attached[0].generation, running);
    EXPECT_EQ(camera().identity().productId, 0x2115) << "the downloaded firmware is gone";
    EXPECT_EQ(camera().identity().release, 0);
    // The handle of the running firmware is stale; a new one finds the boot identity.
    EXPECT_FALSE(device.CyclePort());
    device.Close();
    ASSERT_EQ(device.DeviceCount(), 1);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.productId(), 0x2115);
}

TEST_F(SimulatedCameraTest, ReplugLeavesTheFpgaUnconfiguredWithPowerUpRegisters) {
    makeBus("pid=0x2200");
    unsigned powerUpPeriod = 0;
    {
        HwLayerUsbFx2 layer(0, *driver_);
        ASSERT_TRUE(configure(layer, "zmu2200.bit"));
        ASSERT_NE(layer.ReadRegister(kVersion), 0u);
        powerUpPeriod = camera().registerValue(0xE20001);
        layer.WriteRegister(0xE20001, powerUpPeriod + 1000);
        ASSERT_EQ(camera().registerValue(0xE20001), powerUpPeriod + 1000);
    }
    camera().replug();
    HwLayerUsbFx2 layer(0, *driver_);
    EXPECT_EQ(layer.ReadRegister(kVersion), 0u) << "the FPGA works only once configured again";
    ASSERT_TRUE(configure(layer, "zmu2200.bit"));
    EXPECT_EQ(camera().registerValue(0xE20001), powerUpPeriod);
}

TEST_F(SimulatedCameraTest, RequestsOfTheGenerationBeforeAReplugFailWithNoDevice) {
    makeBus("pid=0x2200");
    const std::uint64_t before = *camera().attachedGeneration();
    camera().unplug();
    camera().replug();
    simulator::SetupPacket getStatus;
    getStatus.requestType = 0x80;
    getStatus.length = 2;
    std::uint8_t status[2] = {};
    EXPECT_EQ(camera().controlTransfer(before, getStatus, status).status,
              simulator::TransferStatus::NoDevice);
    EXPECT_EQ(camera().controlTransfer(*camera().attachedGeneration(), getStatus, status).status,
              simulator::TransferStatus::Ok);
    std::vector<std::uint8_t> data(512);
    simulator::TransferStatus refusal = simulator::TransferStatus::Ok;
    EXPECT_EQ(camera().submitBulkIn(
                  before, simulator::kImageEndpoint, data.data(), data.size(),
                  [](simulator::TransferStatus, std::size_t) {}, &refusal),
              0u);
    EXPECT_EQ(refusal, simulator::TransferStatus::NoDevice);
}

// The completion of one bulk request, as the bulk server thread reports it.
struct BulkOutcome {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<simulator::TransferStatus> status;

    std::optional<simulator::TransferStatus> wait() {
        std::unique_lock lock(mutex);
        done.wait_for(lock, 5s, [this] { return status.has_value(); });
        return status;
    }
};

TEST_F(SimulatedCameraTest, BulkRequestOnTheWireWhenTheCameraLeavesCompletesWithNoDevice) {
    makeBus("pid=0x2200", 1);
    HwLayerUsbFx2 layer(0, *driver_);
    ASSERT_TRUE(configure(layer, "zmu2200.bit"));
    layer.WriteRegister(0xE20005, (64u << 12) | 16u);
    layer.WriteRegister(0xE20001, 10000);
    layer.WriteRegister(kControl, kAcquire);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable);
    ASSERT_TRUE(eventually([&] { return (layer.ReadRegister(kBufferManager) >> 8) & 1; }));
    const std::size_t frameBytes = 64 * 16 * 2;  // one piece on the wire
    layer.WriteRegister(kFifoReset, 0);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable);
    layer.WriteRegister(kBufferManager, kAcquisitionEnable | 2);
    layer.WriteRegister(kTransferLength, frameBytes);

    // Someone else holds the wire for ten seconds, so the frame's piece waits behind it.
    const auto wireHeldUntil = bus_->clock().reserve(10'000'000, std::chrono::steady_clock::now());
    auto outcome = std::make_shared<BulkOutcome>();
    std::vector<std::uint8_t> data(frameBytes);
    simulator::TransferStatus refusal = simulator::TransferStatus::Ok;
    ASSERT_NE(camera().submitBulkIn(
                  *camera().attachedGeneration(), simulator::kImageEndpoint, data.data(), data.size(),
                  [outcome](simulator::TransferStatus status, std::size_t) {
                      std::lock_guard lock(outcome->mutex);
                      outcome->status = status;
                      outcome->done.notify_all();
                  },
                  &refusal),
              0u);
    // The camera has rendered the piece and booked its wire time once the wire is booked further.
    ASSERT_TRUE(eventually(
        [&] { return bus_->clock().reserve(0, std::chrono::steady_clock::now()) > wireHeldUntil; }));
    camera().unplug();
    EXPECT_EQ(outcome->wait(), simulator::TransferStatus::NoDevice);
}

// Snapshots of the attached cameras, taken by the bus's attachment listener at each call.
class AttachmentRecorder {
public:
    explicit AttachmentRecorder(simulator::SimulatedBus& bus) : bus_(bus) {
        bus_.setAttachmentListener([this] {
            auto attached = bus_.attachedCameras();
            std::lock_guard lock(mutex_);
            snapshots_.push_back(std::move(attached));
            called_.notify_all();
        });
    }
    ~AttachmentRecorder() { bus_.setAttachmentListener({}); }

    // The snapshots once `count` calls have come (or what came within a generous bound).
    std::vector<std::vector<simulator::SimulatedBus::AttachedCamera>> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        called_.wait_for(lock, 10s, [&] { return snapshots_.size() >= count; });
        return snapshots_;
    }

private:
    simulator::SimulatedBus& bus_;
    std::mutex mutex_;
    std::condition_variable called_;
    std::vector<std::vector<simulator::SimulatedBus::AttachedCamera>> snapshots_;
};

TEST_F(SimulatedCameraTest, TimedUnplugAndReplugAreToldWithTheCameraAwayInBetween) {
    makeBus("pid=0x2200;pid=0x2115,serial=7,unplug=0.5,replug=1");
    const std::uint64_t before = *camera(1).attachedGeneration();
    AttachmentRecorder recorder(*bus_);
    const auto snapshots = recorder.waitFor(2);
    ASSERT_EQ(snapshots.size(), 2u);
    ASSERT_EQ(snapshots[0].size(), 1u) << "away after the unplug";
    EXPECT_EQ(snapshots[0][0].camera, bus_->cameras()[0]);
    ASSERT_EQ(snapshots[1].size(), 2u) << "back after the replug";
    EXPECT_EQ(snapshots[1][1].camera, bus_->cameras()[1]);
    EXPECT_GT(snapshots[1][1].generation, before);
    EXPECT_EQ(camera(1).identity().productId, 0x2115);
}

TEST_F(SimulatedCameraTest, PortCycleIsToldAsDepartureAndReturn) {
    makeBus("pid=0x2200");
    AttachmentRecorder recorder(*bus_);
    UsbDevice device(ZmCoreLib_v4::kCameraInterfaceClass, false, *driver_);
    ASSERT_TRUE(device.Open(0));
    ASSERT_TRUE(device.CyclePort());
    // A slow bus thread may see departure and return at once: one call then stands for both.
    auto snapshots = recorder.waitFor(1);
    if (!snapshots.empty() && snapshots.front().empty()) snapshots = recorder.waitFor(2);
    ASSERT_FALSE(snapshots.empty());
    ASSERT_EQ(snapshots.back().size(), 1u);
    EXPECT_GT(snapshots.back()[0].generation, 1u);
}

}  // namespace
