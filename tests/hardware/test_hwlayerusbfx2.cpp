// The FX2 hardware layer over a driver that records every request: register and vendor requests
// as they reach the control endpoint, and the bulk image stream with four requests in flight.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <numeric>

#include "fakeusbdriver.h"
#include "hardware/hwlayerusbfx2.h"
#include "platform/event.h"

namespace ZmCoreLib_v4 {
namespace {

using testing_support::Bytes;
using testing_support::FakeUsbDriver;

// Data bytes of a recorded control request.
Bytes dataOf(const testing_support::RecordedRequest& request) {
    return Bytes(request.input.begin() + RequestRecord::kSize, request.input.end());
}

class HwLayerTest : public ::testing::Test {
protected:
    HwLayerTest() {
        driver.devices.resize(2);
        driver.devices[1].path = "fake-2";
    }
    // The layer on device 1, with the requests of opening it forgotten.
    std::unique_ptr<HwLayerUsbFx2> makeLayer() {
        auto layer = std::make_unique<HwLayerUsbFx2>(1, driver);
        driver.clearLog();
        return layer;
    }
    std::vector<testing_support::RecordedRequest> vendorRequests() const {
        std::vector<testing_support::RecordedRequest> vendor;
        for (const auto& request : driver.log(ioctl::kControlTransfer))
            if ((request.record.requestType & 0x60) == 0x40) vendor.push_back(request);
        return vendor;
    }
    FakeUsbDriver driver;
};

TEST_F(HwLayerTest, ConstructionOpensDeviceZeroThenTheWantedOne) {
    HwLayerUsbFx2 layer(1, driver);
    EXPECT_TRUE(layer.isOpen());
    EXPECT_EQ(layer.deviceIndex(), 1);
    EXPECT_EQ(driver.opens(), 2);
    HwLayerUsbFx2 missing(5, driver);
    EXPECT_FALSE(missing.isOpen());
}

// Discovery probes a camera through the handle it already holds: the layer neither opens another
// one (the index may name another camera by then) nor closes the caller's.
TEST_F(HwLayerTest, BorrowedDeviceIsUsedAsItIsAndStaysOpenAfterTheLayer) {
    UsbDevice device(kCameraInterfaceClass, false, driver);
    ASSERT_TRUE(device.Open(1));
    const int opens = driver.opens();
    driver.clearLog();
    {
        HwLayerUsbFx2 layer(device);
        EXPECT_TRUE(layer.isOpen());
        EXPECT_EQ(layer.deviceIndex(), 1);
        layer.WriteRegister(0xE2000C, 1);
    }
    EXPECT_EQ(driver.opens(), opens);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(vendorRequests().size(), 1u);
}

// Device creation builds its camera on the handle that identified it, for the same reason.
TEST_F(HwLayerTest, OwnedDeviceIsUsedAsItIsWithoutOpeningAnother) {
    auto device = std::make_unique<UsbDevice>(kCameraInterfaceClass, false, driver);
    ASSERT_TRUE(device->Open(1));
    const int opens = driver.opens();
    driver.clearLog();
    HwLayerUsbFx2 layer(std::move(device));
    EXPECT_TRUE(layer.isOpen());
    EXPECT_EQ(layer.deviceIndex(), 1);
    layer.WriteRegister(0xE2000C, 1);
    EXPECT_EQ(driver.opens(), opens);
    EXPECT_EQ(vendorRequests().size(), 1u);
}

TEST_F(HwLayerTest, WriteRegisterSendsTheValueMostSignificantByteFirst) {
    auto layer = makeLayer();
    layer->WriteRegister(0xE2000C, 0x00ABCD);
    layer->WriteRegister(0xE30051, 0xFF123456);  // only the low 24 bits go out
    const auto requests = vendorRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].record.requestType, 0x40);  // vendor, device, host to device
    EXPECT_EQ(requests[0].record.request, 0xE2);
    EXPECT_EQ(requests[0].record.value, 0x0C);
    EXPECT_EQ(requests[0].record.index, 0);
    EXPECT_EQ(requests[0].record.length, 3);
    EXPECT_EQ(dataOf(requests[0]), (Bytes{0x00, 0xAB, 0xCD}));
    EXPECT_EQ(requests[1].record.request, 0xE3);
    EXPECT_EQ(requests[1].record.value, 0x51);
    EXPECT_EQ(dataOf(requests[1]), (Bytes{0x12, 0x34, 0x56}));
}

TEST_F(HwLayerTest, ReadRegisterAssemblesThreeBytesAndFailsToZero) {
    auto layer = makeLayer();
    driver.vendorIn = [](const RequestRecord& record) -> std::optional<Bytes> {
        if (record.request == 0xE2 && record.value == 0x6D) return Bytes{0x61, 0x20, 0x01};
        if (record.request == 0xE2 && record.value == 0x01) return Bytes{0x7F};  // short answer
        return std::nullopt;
    };
    EXPECT_EQ(layer->ReadRegister(0xE2006D), 0x612001u);
    EXPECT_EQ(layer->ReadRegister(0xE20001), 0x7F0000u);
    EXPECT_EQ(layer->ReadRegister(0xE00000), 0u);
    const auto requests = vendorRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].record.requestType, 0xC0);
    EXPECT_EQ(requests[0].record.length, 3);
}

TEST_F(HwLayerTest, VendorWriteGoesOutInPiecesOfAtMost128Bytes) {
    const std::pair<int, std::vector<int>> cases[] = {
        {300, {128, 128, 44}}, {256, {128, 128}}, {128, {128}}, {1, {1}}, {0, {0}}};
    auto layer = makeLayer();
    for (const auto& [length, pieces] : cases) {
        driver.clearLog();
        Bytes data(static_cast<std::size_t>(length));
        std::iota(data.begin(), data.end(), std::uint8_t{1});
        layer->VendorWrite(0x1234, 0xE10006, data.data(), length);
        const auto requests = vendorRequests();
        ASSERT_EQ(requests.size(), pieces.size()) << length;
        Bytes sent;
        for (std::size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].record.request, 0xE1);
            EXPECT_EQ(requests[i].record.value, 0x06);
            EXPECT_EQ(requests[i].record.index, 0x1234);
            EXPECT_EQ(requests[i].record.length, pieces[i]) << length << " piece " << i;
            const Bytes piece = dataOf(requests[i]);
            sent.insert(sent.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(sent, data) << length;
    }
}

TEST_F(HwLayerTest, VendorReadFillsPieceAfterPieceAndDiscardsWithoutABuffer) {
    auto layer = makeLayer();
    int calls = 0;
    driver.vendorIn = [&calls](const RequestRecord& record) -> std::optional<Bytes> {
        return Bytes(record.length, static_cast<std::uint8_t>(++calls));
    };
    Bytes data(200);
    layer->VendorRead(0, 0xE30050, data.data(), 200);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 128), Bytes(128, 1));
    EXPECT_EQ(Bytes(data.begin() + 128, data.end()), Bytes(72, 2));

    driver.clearLog();
    layer->VendorRead(0, 0xE30050, nullptr, 8);
    const auto requests = vendorRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].record.length, 8);
}

// Bulk stream: the fake holds requests back until four are in flight or the whole stream has
// been asked for, so a layer that keeps fewer in flight times out.
struct StreamCase {
    int length;
    std::vector<std::uint32_t> requests;
    std::vector<int> inFlightAtStart;
};

void PrintTo(const StreamCase& testCase, std::ostream* out) {
    *out << testCase.length << " bytes";
}

class HwLayerStreamTest : public HwLayerTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(HwLayerStreamTest, ReadsTheStreamInHalfMegabyteRequestsWithFourInFlight) {
    const StreamCase& c = GetParam();
    auto layer = makeLayer();
    driver.startStream(static_cast<std::uint64_t>(c.length));
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(c.length) + 16, 0xEE);
    ASSERT_TRUE(layer->ReadData(buffer.data(), &c.length, 2000));

    const auto log = driver.log();
    const auto firstDirect =
        std::find_if(log.begin(), log.end(), [](const auto& r) { return r.code == ioctl::kDirectTransfer; });
    ASSERT_NE(firstDirect, log.begin());
    EXPECT_EQ(std::prev(firstDirect)->code, ioctl::kSetTransferSize);
    const auto direct = driver.log(ioctl::kDirectTransfer);
    ASSERT_EQ(direct.size(), c.requests.size());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < direct.size(); ++i) {
        EXPECT_EQ(direct[i].outputLength, c.requests[i]) << "request " << i;
        EXPECT_EQ(direct[i].output, buffer.data() + offset) << "request " << i << " must land in place";
        EXPECT_EQ(direct[i].inFlightAtStart, c.inFlightAtStart[i]) << "request " << i;
        offset += direct[i].outputLength;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(c.length); ++i)
        ASSERT_EQ(buffer[i], FakeUsbDriver::streamByte(i)) << i;
    EXPECT_EQ(buffer[static_cast<std::size_t>(c.length)], 0xEE) << "nothing written past the frame";
    EXPECT_EQ(driver.inFlight(), 0);
}

constexpr std::uint32_t kRequest = HwLayerUsbFx2::kBulkRequestSize;

INSTANTIATE_TEST_SUITE_P(Bulk, HwLayerStreamTest,
                         ::testing::Values(
                             // Four at once, then two as the first two complete.
                             StreamCase{3 * 1024 * 1024,
                                        {kRequest, kRequest, kRequest, kRequest, kRequest, kRequest},
                                        {1, 2, 3, 4, 4, 4}},
                             StreamCase{100, {100}, {1}},
                             StreamCase{static_cast<int>(kRequest) + 1, {kRequest, 1}, {1, 2}},
                             StreamCase{0, {0}, {1}}));

struct FailureCase {
    const char* name;
    FakeUsbDriver::BulkMode mode;
    BulkRead outcome;
};

void PrintTo(const FailureCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class HwLayerFailureTest : public HwLayerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HwLayerFailureTest, FailedReadAbortsResetsEndsEveryRequestAndReleasesTheReadLock) {
    auto layer = makeLayer();
    driver.bulkMode = GetParam().mode;
    const int length = 3 * 1024 * 1024;
    driver.startStream(length);
    std::vector<std::uint8_t> buffer(length);
    bool calledBack = false;
    EXPECT_EQ(layer->readDataOverlapping(buffer.data(), &length, 50, [&] { calledBack = true; }),
              GetParam().outcome);
    EXPECT_FALSE(calledBack) << "the read failed before its last request";

    EXPECT_EQ(driver.inFlight(), 0) << "no request may outlive the failed read";
    const auto log = driver.log();
    const auto abort =
        std::find_if(log.begin(), log.end(), [](const auto& r) { return r.code == ioctl::kAbortPipe; });
    ASSERT_NE(abort, log.end());
    EXPECT_EQ(abort->input, Bytes{testing_support::kBulkInAddress});
    const auto reset =
        std::find_if(abort, log.end(), [](const auto& r) { return r.code == ioctl::kResetPipe; });
    ASSERT_NE(reset, log.end()) << "the pipe is reset after the abort";
    EXPECT_EQ(reset->input, Bytes{testing_support::kBulkInAddress});

    // Another camera's read takes the lock and streams.
    driver.bulkMode = FakeUsbDriver::BulkMode::Complete;
    driver.startStream(100);
    HwLayerUsbFx2 other(0, driver);
    const int small = 100;
    auto next = std::async(std::launch::async, [&] { return other.ReadData(buffer.data(), &small, 1000); });
    ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(next.get());
}

INSTANTIATE_TEST_SUITE_P(
    Bulk, HwLayerFailureTest,
    ::testing::Values(FailureCase{"TimeOut", FakeUsbDriver::BulkMode::Hang, BulkRead::kFailed},
                      FailureCase{"Stall", FakeUsbDriver::BulkMode::Stall, BulkRead::kFailed},
                      // Every request comes back half full: the first one
                      // ends the frame.
                      FailureCase{"ShortTransfers", FakeUsbDriver::BulkMode::Short, BulkRead::kShort}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// A failed read pauses and resets its pipe before it returns; meanwhile the other cameras'
// reads must go on. The faulted camera is held inside one of its recovery requests until another
// camera's read has completed there, or, when that read cannot start, for a bound.
struct RecoveryCase {
    const char* name;
    std::uint32_t heldIn;  // the request of the recovery the faulted camera is held in
};

void PrintTo(const RecoveryCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class HwLayerRecoveryTest : public HwLayerTest, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(HwLayerRecoveryTest, AnotherCamerasReadCompletesWhileAFailedReadRecovers) {
    constexpr std::uint32_t kHoldLimitMs = 3000;
    constexpr auto kReadLimit = std::chrono::seconds(30);
    platform::Event faultedHeld(platform::ResetMode::Manual);
    platform::Event otherDone(platform::ResetMode::Manual);
    std::atomic<bool> held{false};
    std::atomic<bool> otherDoneWhileHeld{false};
    driver.onRequest = [&](std::uint32_t code) {
        if (code != GetParam().heldIn || held.exchange(true)) return;
        faultedHeld.set();
        otherDoneWhileHeld = otherDone.wait(kHoldLimitMs) == platform::WaitResult::Signalled;
    };
    driver.bulkMode = FakeUsbDriver::BulkMode::Stall;
    auto faulted = makeLayer();
    FakeUsbDriver otherDriver;
    otherDriver.devices.resize(1);
    HwLayerUsbFx2 other(0, otherDriver);
    const int frameLength = 3 * 1024 * 1024;
    std::vector<std::uint8_t> faultedFrame(frameLength);
    const int otherLength = 100;
    std::vector<std::uint8_t> otherFrame(otherLength);
    otherDriver.startStream(otherLength);

    auto failedRead = std::async(std::launch::async,
                                 [&] { return faulted->ReadData(faultedFrame.data(), &frameLength, 50); });
    ASSERT_EQ(faultedHeld.wait(kHoldLimitMs), platform::WaitResult::Signalled) << "no recovery began";
    auto otherRead = std::async(std::launch::async, [&] {
        const bool read = other.ReadData(otherFrame.data(), &otherLength, 1000);
        otherDone.set();
        return read;
    });
    ASSERT_EQ(failedRead.wait_for(kReadLimit), std::future_status::ready);
    ASSERT_EQ(otherRead.wait_for(kReadLimit), std::future_status::ready);
    EXPECT_FALSE(failedRead.get());
    EXPECT_TRUE(otherRead.get());
    EXPECT_TRUE(otherDoneWhileHeld) << "the other camera's read waited for the failed read's recovery";
}

INSTANTIATE_TEST_SUITE_P(Bulk, HwLayerRecoveryTest,
                         ::testing::Values(RecoveryCase{"Abort", ioctl::kAbortPipe},
                                           RecoveryCase{"PipeReset", ioctl::kResetPipe}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(HwLayerTest, PipeResetIsRetriedAFixedNumberOfTimes) {
    auto layer = makeLayer();
    driver.bulkMode = FakeUsbDriver::BulkMode::Stall;
    driver.failingPipeResets = 1000;
    const int length = 512;
    std::vector<std::uint8_t> buffer(length);
    EXPECT_FALSE(layer->ReadData(buffer.data(), &length, 50));
    EXPECT_EQ(driver.log(ioctl::kResetPipe).size(),
              static_cast<std::size_t>(HwLayerUsbFx2::kRecoveryAttempts));
}

TEST_F(HwLayerTest, ReadWithoutAnOpenDeviceFailsAtOnce) {
    HwLayerUsbFx2 missing(7, driver);
    const int length = 512;
    std::vector<std::uint8_t> buffer(length);
    EXPECT_FALSE(missing.ReadData(buffer.data(), &length, 50));
    missing.WriteRegister(0xE2000C, 1);
    EXPECT_EQ(missing.ReadRegister(0xE2000C), 0u);
}

}  // namespace
}  // namespace ZmCoreLib_v4
