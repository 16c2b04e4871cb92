// The libusb driver against cameras emulated at the kernel's USB interface: the system libusb
// runs unmodified, the emulated bus answers its URBs.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "emulatedusbbus.h"
#include "hardware/hwlayerusbfx2.h"
#include "hardware/libusb/libusbdriver.h"
#include "hardware/usb/usbdevice.h"
#include "platform/error.h"
#include "watchcalls.h"

namespace ZmCoreLib_v4 {
namespace {

using testing_support::Bytes;
using testing_support::EmulatedUsbBus;

constexpr std::uint8_t kBulkIn = 0x86;

class LibusbDriverTest : public ::testing::Test {
protected:
    // The bus must exist before libusb starts, so each test adds its devices and then starts.
    void start() { driver = std::make_unique<LibusbDriver>(); }
    void TearDown() override { driver.reset(); }

    EmulatedUsbBus bus;
    std::unique_ptr<LibusbDriver> driver;
};

TEST_F(LibusbDriverTest, ListsTheVendorsDevicesByBusAndPortWithReadableNames) {
    bus.addDevice("2-1", 2, 3, 0xAB10, 0x2115, u"Камера Б");
    bus.addDevice("1-4", 1, 5, 0x1234, 0x0001, u"Мышь");
    bus.addDevice("1-3", 1, 2, 0xAB10, 0x2221, u"Камера А");
    start();
    ASSERT_EQ(driver->deviceCount(), 2);
    UsbDeviceEntry first, second;
    ASSERT_TRUE(driver->deviceEntry(0, &first));
    ASSERT_TRUE(driver->deviceEntry(1, &second));
    EXPECT_EQ(first.path, "1-3");
    EXPECT_EQ(first.friendlyName, "Камера А (bus 1, port 3)");
    EXPECT_EQ(second.path, "2-1");
    EXPECT_EQ(second.friendlyName, "Камера Б (bus 2, port 1)");
    UsbDeviceEntry none;
    EXPECT_FALSE(driver->deviceEntry(2, &none));
    EXPECT_EQ(driver->open(2), nullptr);
}

TEST_F(LibusbDriverTest, OpensACameraAndCarriesControlTransfersWithDataBothWays) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    bus.setVendorIn([](const EmulatedUsbBus::Setup& setup) -> std::optional<Bytes> {
        if (setup.request == 0xE2 && setup.value == 0x6D) return Bytes{0x61, 0x20, 0x01};
        return std::nullopt;
    });
    start();

    UsbDevice device(kCameraInterfaceClass, false, *driver);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.vendorId(), 0xAB10);
    EXPECT_EQ(device.productId(), 0x2280);
    EXPECT_EQ(device.product(), u"Камера");
    EXPECT_EQ(device.friendlyName(), "Камера (bus 1, port 2)");
    EXPECT_TRUE(device.isHighSpeed());
    ASSERT_NE(device.bulkInEndPoint(), nullptr);
    device.Close();

    HwLayerUsbFx2 layer(0, *driver);
    ASSERT_TRUE(layer.isOpen());
    layer.WriteRegister(0xE2000C, 0x00ABCD);
    EXPECT_EQ(layer.ReadRegister(0xE2006D), 0x612001u);
    EXPECT_EQ(layer.ReadRegister(0xE30001), 0u) << "a stalled read gives 0";

    const auto requests = bus.vendorRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].setup.requestType, 0x40);
    EXPECT_EQ(requests[0].setup.request, 0xE2);
    EXPECT_EQ(requests[0].setup.value, 0x0C);
    EXPECT_EQ(requests[0].setup.index, 0);
    EXPECT_EQ(requests[0].data, (Bytes{0x00, 0xAB, 0xCD}));
    EXPECT_EQ(requests[1].setup.requestType, 0xC0);
    EXPECT_EQ(requests[1].setup.length, 3);
}

TEST_F(LibusbDriverTest, StreamsSeveralMegabytesInHalfMegabyteRequestsWithFourInFlight) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    start();
    HwLayerUsbFx2 layer(0, *driver);
    ASSERT_TRUE(layer.isOpen());
    const int length = 3 * 1024 * 1024 + 100;
    bus.startStream(length);
    std::vector<std::uint8_t> frame(length);
    ASSERT_TRUE(layer.ReadData(frame.data(), &length, 2000));

    const auto requests = bus.bulkRequests();
    ASSERT_EQ(requests.size(), 7u);
    const int inFlight[] = {1, 2, 3, 4, 4, 4, 4};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].endpoint, kBulkIn);
        EXPECT_EQ(requests[i].length, i < 6 ? HwLayerUsbFx2::kBulkRequestSize : 100u) << i;
        EXPECT_EQ(requests[i].inFlightAtSubmit, inFlight[i]) << i;
    }
    for (std::size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i], EmulatedUsbBus::streamByte(i)) << i;
}

// A camera is claimed as it is opened, and stays claimed while any handle of this process holds
// it; the last one releases it.
TEST_F(LibusbDriverTest, OpeningClaimsTheCameraForThisProcessUntilItsLastHandleCloses) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    start();
    ASSERT_EQ(driver->deviceCount(), 1);
    auto first = driver->open(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(bus.claimedInterfaces(), std::vector<unsigned>{0});
    auto second = driver->open(0);
    ASSERT_NE(second, nullptr) << "the handles of one process share the claim";
    EXPECT_EQ(bus.claimedInterfaces(), std::vector<unsigned>{0});
    first.reset();
    EXPECT_TRUE(bus.releasedInterfaces().empty());
    second.reset();
    EXPECT_EQ(bus.releasedInterfaces(), std::vector<unsigned>{0});
}

// A process of its own that holds a device file open, as another program using a camera does.
class DeviceFileHolder {
public:
    explicit DeviceFileHolder(const std::string& deviceFile) {
        const std::string script = "exec 3<>" + deviceFile + " && exec sleep 60";
        const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
            pid_ = -1;
    }
    ~DeviceFileHolder() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    DeviceFileHolder(const DeviceFileHolder&) = delete;
    DeviceFileHolder& operator=(const DeviceFileHolder&) = delete;

    // Waits (bounded) until the process holds the file and sleeps.
    bool holding() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const std::string process = "/proc/" + std::to_string(pid_);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            std::ifstream comm(process + "/comm");
            std::string name;
            if (std::getline(comm, name) && name == "sleep" && access((process + "/fd/3").c_str(), F_OK) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The kernel refuses the claim while another program or a kernel driver holds the camera: the
// camera is left as it is, and its entry names who holds it.
struct InUseCase {
    const char* name;
    bool programHoldsIt;
    const char* kernelDriver;  // bound to the camera's interface, or null
};

void PrintTo(const InUseCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class LibusbDriverInUseTest : public LibusbDriverTest, public ::testing::WithParamInterface<InUseCase> {};

TEST_P(LibusbDriverInUseTest, CameraClaimedElsewhereIsNotTouchedAndItsUserNamed) {
    const InUseCase& c = GetParam();
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    if (c.kernelDriver) bus.bindKernelDriver("1-2", 1, c.kernelDriver);
    bus.setClaimError(EBUSY);
    start();
    std::unique_ptr<DeviceFileHolder> other;
    std::string expected;
    if (c.programHoldsIt) {
        other = std::make_unique<DeviceFileHolder>("/dev/bus/usb/001/004");
        ASSERT_TRUE(other->holding()) << "the other program did not start";
        expected = "process " + std::to_string(other->pid()) + " (sleep)";
    }
    if (c.kernelDriver)
        expected += (expected.empty() ? "" : ", ") + std::string("the kernel driver ") + c.kernelDriver;
    ASSERT_EQ(driver->deviceCount(), 1);
    const int controlUrbs = bus.controlUrbs();
    platform::setLastError(0);
    EXPECT_EQ(driver->open(0), nullptr);
    EXPECT_EQ(platform::lastError(), EBUSY);
    EXPECT_EQ(bus.controlUrbs(), controlUrbs) << "a camera in use elsewhere was sent requests";
    UsbDeviceEntry entry;
    ASSERT_TRUE(driver->deviceEntry(0, &entry));
    EXPECT_EQ(entry.users, expected);
}

INSTANTIATE_TEST_SUITE_P(Claimed, LibusbDriverInUseTest,
                         ::testing::Values(InUseCase{"ByAProgram", true, nullptr},
                                           InUseCase{"ByAKernelDriver", false, "usbtest"},
                                           InUseCase{"ByAProgramWhileAKernelDriverIsBound", true, "usbtest"},
                                           // The system shows nobody: the entry says so by naming none.
                                           InUseCase{"ByNobodyVisible", false, nullptr}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

struct FailureCase {
    const char* name;
    EmulatedUsbBus::BulkMode mode;
    int discarded;  // URBs the driver must cancel
};

void PrintTo(const FailureCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class LibusbDriverFailureTest : public LibusbDriverTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LibusbDriverFailureTest, FailedBulkReadEndsEveryUrbAndResetsThePipe) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    start();
    HwLayerUsbFx2 layer(0, *driver);
    ASSERT_TRUE(layer.isOpen());
    bus.setBulkMode(GetParam().mode);
    const int length = 3 * 1024 * 1024;
    bus.startStream(length);
    std::vector<std::uint8_t> frame(length);
    EXPECT_FALSE(layer.ReadData(frame.data(), &length, 200));
    EXPECT_EQ(bus.heldUrbs(), 0) << "no URB may outlive the failed read";
    EXPECT_EQ(bus.discardedUrbs(), GetParam().discarded);
    const auto halts = bus.clearedHalts();
    ASSERT_FALSE(halts.empty());
    EXPECT_EQ(halts.front(), kBulkIn);
}

INSTANTIATE_TEST_SUITE_P(Bulk, LibusbDriverFailureTest,
                         ::testing::Values(FailureCase{"TimeOut", EmulatedUsbBus::BulkMode::Hang, 4},
                                           FailureCase{"Stall", EmulatedUsbBus::BulkMode::Stall, 0},
                                           FailureCase{"Unplug", EmulatedUsbBus::BulkMode::Unplug, 0}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// CPU time (user + system) of this process's thread with the given name, in clock ticks.
TEST_F(LibusbDriverTest, WatchTellsCamerasThatArriveAndLeave) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2115, u"Камера");
    start();
    ASSERT_EQ(driver->deviceCount(), 1);
    testing_support::WatchCalls calls;
    driver->watch(calls.callback());

    bus.addDevice("1-3", 1, 5, 0xAB10, 0x2221, u"Камера");
    bus.announceArrival("1-3", 1);
    ASSERT_TRUE(calls.waitBeyond(0)) << "arrival not told";
    EXPECT_EQ(driver->deviceCount(), 2);

    const int seen = calls.count();
    bus.removeDevice("1-2", 1, 4);
    ASSERT_TRUE(calls.waitBeyond(seen)) << "departure not told";
    ASSERT_EQ(driver->deviceCount(), 1);
    UsbDeviceEntry entry;
    ASSERT_TRUE(driver->deviceEntry(0, &entry));
    EXPECT_EQ(entry.path, "1-3");
    driver->watch({});
}

long threadCpuTicks(const std::string& name) {
    DIR* tasks = opendir("/proc/self/task");
    long ticks = -1;
    while (dirent* entry = tasks ? readdir(tasks) : nullptr) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(task + "/comm");
        std::string threadName;
        if (!std::getline(comm, threadName) || threadName != name) continue;
        std::ifstream stat(task + "/stat");
        std::string line;
        std::getline(stat, line);
        // Fields after the parenthesised name: state is the 3rd field, utime the 14th, stime the 15th.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        for (int i = 3; i < 14; ++i) fields >> field;
        long user = 0, system = 0;
        fields >> user >> system;
        ticks = user + system;
    }
    if (tasks) closedir(tasks);
    return ticks;
}

TEST_F(LibusbDriverTest, IdleEventThreadSleeps) {
    bus.addDevice("1-2", 1, 4, 0xAB10, 0x2280, u"Камера");
    start();
    HwLayerUsbFx2 layer(0, *driver);  // an open device: its file is among the polled ones
    ASSERT_TRUE(layer.isOpen());
    const long before = threadCpuTicks("zm-usb-events");
    ASSERT_GE(before, 0) << "event thread not found";
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const long spent = threadCpuTicks("zm-usb-events") - before;
    const double wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpuS = static_cast<double>(spent) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("idle event thread: %.3f s of CPU in %.3f s\n", cpuS, wallS);
    // A sleeping thread rounds to zero ticks. One that polls a device file always ready spends
    // about a seventh of the interval here (each poll round-trips through the emulator).
    EXPECT_LT(cpuS, wallS / 20);
}

}  // namespace
}  // namespace ZmCoreLib_v4

int main(int argc, char** argv) {
    if (!ZmCoreLib_v4::testing_support::EmulatedUsbBus::available()) {
        std::fputs("These tests need an emulated USB bus: run them under umockdev-wrapper.\n", stderr);
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
