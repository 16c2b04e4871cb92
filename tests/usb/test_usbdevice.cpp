// UsbDevice and its endpoints over a driver that records every request.
#include <gtest/gtest.h>

#include <chrono>

#include "fakeusbdriver.h"
#include "hardware/usb/usbdevice.h"
#include "platform/error.h"
#include "platform/messagebox.h"

namespace ZmCoreLib_v4 {
namespace {

using testing_support::Bytes;
using testing_support::FakeUsbDevice;
using testing_support::FakeUsbDriver;
using testing_support::operator+;

FakeUsbDevice camera(std::uint16_t productId, std::string friendlyName) {
    FakeUsbDevice device;
    device.device = testing_support::deviceDescriptor(0xAB10, productId);
    device.friendlyName = std::move(friendlyName);
    device.strings = {{0, testing_support::languageDescriptor({0x0419, 0x0409})},
                      {1, testing_support::stringDescriptor(u"Zenmira")},
                      {2, testing_support::stringDescriptor(u"Камера")},
                      {3, testing_support::stringDescriptor(u"000123")}};
    return device;
}

// Captures message boxes instead of writing them to standard error.
class MessageBoxCapture {
public:
    MessageBoxCapture()
        : previous_(
              platform::setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                  shown.push_back(caption + ": " + text);
              })) {}
    ~MessageBoxCapture() { platform::setMessageBoxHandler(previous_); }
    std::vector<std::string> shown;

private:
    platform::MessageBoxHandler previous_;
};

class UsbDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { driver.devices = {camera(0x2115, "Camera A"), camera(0x2221, "Camera B")}; }
    FakeUsbDriver driver;
};

TEST_F(UsbDeviceTest, OpenReadsDescriptorsStringsAndDriverInformation) {
    UsbDevice device(kCameraInterfaceClass, false, driver);
    ASSERT_TRUE(device.Open(1));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.vendorId(), 0xAB10);
    EXPECT_EQ(device.productId(), 0x2221);
    EXPECT_EQ(device.languageId(), 0x0409);
    EXPECT_EQ(device.manufacturer(), u"Zenmira");
    EXPECT_EQ(device.product(), u"Камера");
    EXPECT_EQ(device.serialNumber(), u"000123");
    EXPECT_EQ(device.friendlyName(), "Camera B");
    EXPECT_TRUE(device.isHighSpeed());
    ASSERT_NE(device.controlEndPoint(), nullptr);
    EXPECT_EQ(device.controlEndPoint()->maxPacketSize(), 64u);
    ASSERT_NE(device.bulkInEndPoint(), nullptr);
    EXPECT_EQ(device.bulkInEndPoint()->address(), testing_support::kBulkInAddress);
    EXPECT_EQ(device.bulkInEndPoint()->maxPacketSize(), 512u);
    ASSERT_NE(device.bulkOutEndPoint(), nullptr);
    EXPECT_EQ(device.interruptInEndPoint(), nullptr);

    // The first request reads the device descriptor: standard IN GET_DESCRIPTOR, 18 bytes, 5 s.
    const auto first = driver.log().front();
    EXPECT_EQ(first.code, ioctl::kControlTransfer);
    EXPECT_EQ(first.record.requestType, 0x80);
    EXPECT_EQ(first.record.request, 6);
    EXPECT_EQ(first.record.value, 0x0100);
    EXPECT_EQ(first.record.length, 18);
    EXPECT_EQ(first.record.timeoutS, 5u);
    // Strings are read in the chosen language, head first.
    bool productHeadRead = false;
    for (const auto& request : driver.log(ioctl::kControlTransfer))
        if (request.record.value == 0x0302 && request.record.length == 2) {
            productHeadRead = true;
            EXPECT_EQ(request.record.index, 0x0409);
        }
    EXPECT_TRUE(productHeadRead);
}

TEST_F(UsbDeviceTest, OpeningAnIndexBeyondTheDevicesFailsWithoutOpeningAnything) {
    UsbDevice device(kCameraInterfaceClass, false, driver);
    EXPECT_EQ(device.DeviceCount(), 2);
    EXPECT_FALSE(device.Open(3));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.vendorId(), 0);
    EXPECT_EQ(driver.opens(), 0);
}

TEST_F(UsbDeviceTest, AnotherInterfaceClassHasNoDevices) {
    UsbDevice device(InterfaceClassId{1, 2, 3, {}}, false, driver);
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_FALSE(device.Open(0));
}

TEST_F(UsbDeviceTest, OpeningAnotherIndexClosesTheFirstAndCloseForgetsEverything) {
    UsbDevice device(kCameraInterfaceClass, true, driver);
    EXPECT_EQ(device.productId(), 0x2115);
    ASSERT_TRUE(device.Open(1));
    EXPECT_EQ(device.productId(), 0x2221);
    EXPECT_EQ(driver.opens(), 2);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.productId(), 0);
    EXPECT_EQ(device.controlEndPoint(), nullptr);
    EXPECT_EQ(device.bulkInEndPoint(), nullptr);
    EXPECT_TRUE(device.serialNumber().empty());
}

TEST_F(UsbDeviceTest, MalformedConfigurationIsShownAndLeavesTheDeviceClosed) {
    driver.devices[0].configurations = {
        testing_support::configurationDescriptor(testing_support::interfaceDescriptor(0, 0, 2))};
    MessageBoxCapture boxes;
    UsbDevice device(kCameraInterfaceClass, false, driver);
    EXPECT_FALSE(device.Open(0));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(boxes.shown, std::vector<std::string>{
                               "Wrong Device Configuration: Please correct firmware descriptor table"});
}

TEST_F(UsbDeviceTest, Usb3DeviceNeedsAWellFormedBosDescriptor) {
    driver.devices[0].device = testing_support::deviceDescriptor(0xAB10, 0x2115, 0x0310, 9);
    driver.devices[0].bos = {5, 0x0F, 12, 0, 1, 7, 0x10, 2, 2, 0, 0, 0};
    MessageBoxCapture boxes;
    UsbDevice device(kCameraInterfaceClass, false, driver);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.controlEndPoint()->maxPacketSize(), 512u);  // 2 to the power of 9
    EXPECT_TRUE(boxes.shown.empty());

    driver.devices[0].bos[4] = 2;  // announces a capability that is not there
    EXPECT_FALSE(device.Open(0));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(boxes.shown,
              std::vector<std::string>{"Wrong BOS Descriptor: Please correct firmware BOS descriptor table"});
}

TEST_F(UsbDeviceTest, DeviceWithoutInterfacesCannotBeOpened) {
    driver.devices[0].configurations = {testing_support::configurationDescriptor({}, 0)};
    UsbDevice device(kCameraInterfaceClass, false, driver);
    EXPECT_FALSE(device.Open(0));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(UsbDeviceTest, DeviceThatDoesNotAnswerReadsAsVendorZero) {
    driver.devices[0].device.clear();  // every GET_DESCRIPTOR stalls
    driver.devices[0].configurations.clear();
    UsbDevice device(kCameraInterfaceClass, false, driver);
    EXPECT_FALSE(device.Open(0));
    EXPECT_EQ(device.vendorId(), 0);
}

TEST_F(UsbDeviceTest, ShortcutsFollowTheCurrentAlternateSettingAndTakeTheFirstOfEachKind) {
    driver.devices[0].configurations = {testing_support::configurationDescriptor(
        testing_support::interfaceDescriptor(0, 0, 4) + testing_support::endpointDescriptor(0x81, 3, 64) +
        testing_support::endpointDescriptor(0x82, 2, 512) +
        testing_support::endpointDescriptor(0x84, 2, 512) +
        testing_support::endpointDescriptor(0x83, 1, 1024) + testing_support::interfaceDescriptor(0, 1, 0))};
    UsbDevice device(kCameraInterfaceClass, false, driver);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.currentInterface(), 0);
    EXPECT_EQ(device.bulkInEndPoint()->address(), 0x82);
    EXPECT_EQ(device.interruptInEndPoint()->address(), 0x81);
    EXPECT_EQ(device.isocInEndPoint()->address(), 0x83);
    EXPECT_EQ(device.bulkOutEndPoint(), nullptr);
}

TEST_F(UsbDeviceTest, ClosedDeviceNeverCallsTheDriver) {
    UsbDevice device(kCameraInterfaceClass, false, driver);
    std::uint32_t value = 0;
    EXPECT_FALSE(device.IoControl(ioctl::kGetDriverVersion, &value, sizeof value));
    EXPECT_FALSE(device.CyclePort());
    CCyBulkEndPoint detached(nullptr, usb::EndpointDescriptor{7, 5, 0x86, 2, 512, 0, std::nullopt}, false);
    platform::Event event(platform::ResetMode::Auto);
    Overlapped overlapped(&event);
    std::uint8_t buffer[4];
    EXPECT_EQ(detached.BeginTransfer(buffer, 4, &overlapped), nullptr);
    EXPECT_EQ(detached.GetTransferSize(), 0u);
    EXPECT_FALSE(detached.ResetPipe());
    EXPECT_TRUE(driver.log().empty());
}

TEST_F(UsbDeviceTest, CyclePortIsOneRequestWithoutData) {
    UsbDevice device(kCameraInterfaceClass, true, driver);
    driver.clearLog();
    EXPECT_TRUE(device.CyclePort());
    const auto log = driver.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, ioctl::kCyclePort);
    EXPECT_TRUE(log[0].input.empty());
}

// Endpoints of an open device.
class EndpointTest : public UsbDeviceTest {
protected:
    void SetUp() override {
        UsbDeviceTest::SetUp();
        ASSERT_TRUE(device.Open(0));
        driver.clearLog();
    }
    UsbDevice device{kCameraInterfaceClass, false, driver};
};

TEST_F(EndpointTest, ControlTimeOutIsSentInWholeSecondsRoundingShortOnesUp) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{500, 1}, {0, 0},    {2500, 2}, {1, 1},
                                                             {999, 1}, {1000, 1}, {1999, 1}};
    CCyControlEndPoint& control = *device.controlEndPoint();
    control.requestCode = 0xE2;
    for (const auto& [timeoutMs, expectedS] : cases) {
        driver.clearLog();
        control.setTimeoutMs(timeoutMs);
        std::uint8_t byte = 1;
        std::uint32_t length = 1;
        control.Write(&byte, length);
        const auto log = driver.log(ioctl::kControlTransfer);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].record.timeoutS, expectedS) << timeoutMs << " ms";
    }
}

TEST_F(EndpointTest, TransferSizeIsRoundedUpToWholePackets) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {524288, 524288}, {1000, 1024}, {512, 512}, {1, 512}};
    CCyBulkEndPoint& bulk = *device.bulkInEndPoint();
    for (const auto& [asked, sent] : cases) {
        driver.clearLog();
        bulk.SetTransferSize(asked);
        const auto log = driver.log(ioctl::kSetTransferSize);
        ASSERT_EQ(log.size(), 1u);
        ASSERT_EQ(log[0].input.size(), 5u);
        EXPECT_EQ(log[0].input[0], testing_support::kBulkInAddress);
        const std::uint32_t size = log[0].input[1] | log[0].input[2] << 8 | log[0].input[3] << 16 |
                                   std::uint32_t{log[0].input[4]} << 24;
        EXPECT_EQ(size, sent) << asked;
        EXPECT_EQ(bulk.GetTransferSize(), sent);
    }
}

TEST_F(EndpointTest, InControlTransferReturnsTheBytesTheDeviceSent) {
    driver.vendorIn = [](const RequestRecord& record) -> std::optional<Bytes> {
        EXPECT_EQ(record.requestType, 0xC0);
        EXPECT_EQ(record.request, 0xE3);
        EXPECT_EQ(record.value, 0x51);
        EXPECT_EQ(record.index, 7);
        return Bytes{1, 2, 3, 4, 5};
    };
    CCyControlEndPoint& control = *device.controlEndPoint();
    control.requestCode = 0xE3;
    control.value = 0x51;
    control.index = 7;
    std::uint8_t buffer[8] = {};
    std::uint32_t length = sizeof buffer;
    EXPECT_TRUE(control.Read(buffer, length));
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{1, 2, 3, 4, 5, 0}));
    const auto log = driver.log(ioctl::kControlTransfer);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].record.length, 8);
    EXPECT_EQ(log[0].record.dataOffset, RequestRecord::kSize);
    EXPECT_EQ(log[0].record.dataLength, 8u);
    EXPECT_EQ(log[0].input.size(), RequestRecord::kSize + 8);
}

TEST_F(EndpointTest, OutControlTransferCarriesItsDataBehindTheRecord) {
    CCyControlEndPoint& control = *device.controlEndPoint();
    control.requestCode = 0xA0;
    control.value = 0xE600;
    const std::uint8_t data[] = {0x01};
    std::uint32_t length = 1;
    EXPECT_TRUE(control.Write(data, length));
    EXPECT_EQ(length, 1u);
    const auto log = driver.log(ioctl::kControlTransfer);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].record.requestType, 0x40);
    EXPECT_EQ(log[0].record.request, 0xA0);
    EXPECT_EQ(log[0].record.value, 0xE600);
    EXPECT_EQ(log[0].input, Bytes(log[0].input.begin(), log[0].input.begin() + 38) + Bytes{0x01});
}

TEST_F(EndpointTest, FailedControlTransferReportsTheStatuses) {
    CCyControlEndPoint& control = *device.controlEndPoint();
    control.requestCode = 0xE3;
    std::uint8_t buffer[3] = {9, 9, 9};
    std::uint32_t length = 3;
    EXPECT_FALSE(control.Read(buffer, length));  // the fake has no vendor IN answer
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(control.usbdStatus(), kUsbdStatusStall);
    EXPECT_EQ(control.lastError(), EPIPE);
}

TEST_F(EndpointTest, ExpiredControlTransferIsAbortedAndFails) {
    driver.hangControl = true;
    CCyControlEndPoint& control = *device.controlEndPoint();
    control.setTimeoutMs(20);
    std::uint8_t buffer[3] = {};
    std::uint32_t length = 3;
    EXPECT_FALSE(control.Read(buffer, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(control.lastError(), ETIMEDOUT);
    const auto aborts = driver.log(ioctl::kAbortPipe);
    ASSERT_FALSE(aborts.empty());
    EXPECT_EQ(aborts[0].input, Bytes{0x00});
    EXPECT_EQ(driver.inFlight(), 0);
}

TEST_F(EndpointTest, DirectBulkTransferGoesStraightIntoTheCallersBuffer) {
    driver.startStream(4096);
    CCyBulkEndPoint& bulk = *device.bulkInEndPoint();
    std::vector<std::uint8_t> buffer(4096);
    std::uint32_t length = 4096;
    ASSERT_TRUE(bulk.TransferData(buffer.data(), length));
    EXPECT_EQ(length, 4096u);
    const auto log = driver.log(ioctl::kDirectTransfer);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].output, buffer.data());
    EXPECT_EQ(log[0].outputLength, 4096u);
    ASSERT_EQ(log[0].input.size(), RequestRecord::kSize);
    EXPECT_EQ(log[0].record.endpointAddress, testing_support::kBulkInAddress);
    EXPECT_EQ(log[0].record.dataOffset, 0u);
    EXPECT_EQ(log[0].record.dataLength, 0u);
    for (std::size_t i = 0; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], FakeUsbDriver::streamByte(i)) << i;
}

TEST_F(EndpointTest, FinishingARunningTransferKeepsItsRequestUntilItEnds) {
    driver.bulkMode = FakeUsbDriver::BulkMode::Hang;
    CCyBulkEndPoint& bulk = *device.bulkInEndPoint();
    platform::Event event(platform::ResetMode::Auto);
    Overlapped overlapped(&event);
    std::vector<std::uint8_t> buffer(512);
    auto request = bulk.BeginTransfer(buffer.data(), 512, &overlapped);
    ASSERT_TRUE(request);
    EXPECT_FALSE(bulk.WaitForTransfer(&overlapped, 10));
    std::uint32_t length = 512;
    EXPECT_FALSE(bulk.FinishTransfer(buffer.data(), length, &overlapped, request));
    EXPECT_TRUE(request) << "a running request must stay with the caller";
    EXPECT_TRUE(bulk.Abort());
    EXPECT_TRUE(bulk.WaitForTransfer(&overlapped, 0));
    length = 512;
    EXPECT_FALSE(bulk.FinishTransfer(buffer.data(), length, &overlapped, request));
    EXPECT_FALSE(request);
    EXPECT_EQ(bulk.usbdStatus(), kUsbdStatusCanceled);
    EXPECT_EQ(bulk.lastError(), ECANCELED);
}

TEST_F(EndpointTest, AbortWithNothingPendingSucceeds) {
    EXPECT_TRUE(device.bulkInEndPoint()->Abort());
    EXPECT_EQ(driver.log(ioctl::kAbortPipe).size(), 1u);
}

TEST_F(EndpointTest, ResetPipeReportsTheDriversAnswer) {
    CCyBulkEndPoint& bulk = *device.bulkInEndPoint();
    driver.failingPipeResets = 1;
    EXPECT_FALSE(bulk.ResetPipe());
    EXPECT_EQ(bulk.lastError(), EPIPE);
    EXPECT_TRUE(bulk.ResetPipe());
    const auto log = driver.log(ioctl::kResetPipe);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, Bytes{testing_support::kBulkInAddress});
}

}  // namespace
}  // namespace ZmCoreLib_v4
