// The text form of ZMCORE_SIMULATE and ZMCORE_SIM_BUS_MBPS: what it accepts and how it refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "simulator/cameraconfig.h"

namespace {

using namespace std::chrono_literals;
using simulator::CameraConfig;
using simulator::ConfigError;
using simulator::parseBusRate;
using simulator::parseCameraSet;

TEST(CameraSetText, EveryKeyReachesItsField) {
    const auto cameras = parseCameraSet(
        " pid=0x2010, type=6214 ,serial=12345,serial2=7,controller=65535,module=3,channel=21,"
        "version=0x030004,vid=04B4 ; pid=2115");
    ASSERT_EQ(cameras.size(), 2u);
    const CameraConfig& first = cameras[0];
    EXPECT_EQ(first.bootProductId, 0x2010);
    EXPECT_EQ(first.typeWord, 0x6214);
    EXPECT_EQ(first.serial, 12345);
    EXPECT_EQ(first.serial2, 7);
    EXPECT_EQ(first.controllerSerial, 65535);
    EXPECT_EQ(first.moduleType, 3);
    EXPECT_EQ(first.channel, 21);
    EXPECT_EQ(first.version, 0x030004u);
    EXPECT_EQ(first.vendorId, 0x04B4);
    // Keys left out take the documented defaults.
    const CameraConfig& second = cameras[1];
    EXPECT_EQ(second.bootProductId, 0x2115);
    EXPECT_EQ(second.vendorId, simulator::kCameraVendorId);
    EXPECT_EQ(second.typeWord, 0x2280);
    EXPECT_EQ(second.moduleType, 0);
    EXPECT_EQ(second.channel, 19);
    EXPECT_EQ(second.version, 0x020011u);
}

TEST(CameraSetText, EmptyTextIsABusWithoutCameras) {
    EXPECT_TRUE(parseCameraSet("").empty());
    EXPECT_TRUE(parseCameraSet("  ").empty());
}

TEST(CameraSetText, DefaultSetCoversBothFamiliesAProbeAndAnIntensifier) {
    const auto cameras = parseCameraSet("default");
    ASSERT_GE(cameras.size(), 4u);
    bool probed = false;
    bool intensifier = false;
    for (const CameraConfig& camera : cameras) {
        probed = probed || camera.bootProductId == 0x2011 || camera.bootProductId == 0x2031;
        intensifier = intensifier || camera.moduleType != 0;
    }
    EXPECT_TRUE(probed);
    EXPECT_TRUE(intensifier);
}

struct MalformedCase {
    const char* text;
    const char* mustName;  // what the message must point at
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class MalformedCameraSet : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedCameraSet, IsRefusedWithAMessageNamingCameraAndKey) {
    try {
        parseCameraSet(GetParam().text);
        FAIL() << "accepted: " << GetParam().text;
    } catch (const ConfigError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("ZMCORE_SIMULATE"), std::string::npos) << message;
        EXPECT_NE(message.find(GetParam().mustName), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedCameraSet,
                         testing::Values(MalformedCase{"pid=0x2115;colour=red",
                                                       "camera 2 (\"colour=red\") key 'colour' is unknown"},
                                         MalformedCase{"serial=5", "camera 1 (\"serial=5\") has no pid"},
                                         MalformedCase{"pid=0x12345", "key 'pid' has the value '0x12345'"},
                                         MalformedCase{"pid=", "key 'pid' has the value ''"},
                                         MalformedCase{"pid=0xZZ", "key 'pid'"},
                                         MalformedCase{"pid=2115,serial=65536",
                                                       "key 'serial' has the value '65536'"},
                                         MalformedCase{"pid=2115,serial=-1", "key 'serial'"},
                                         MalformedCase{"pid=2115,serial=0x10", "key 'serial'"},
                                         MalformedCase{"pid=2115,module=6", "key 'module' has the value '6'"},
                                         MalformedCase{"pid=2115,channel=256", "key 'channel'"},
                                         MalformedCase{"pid=2115,version=0x1000000", "key 'version'"},
                                         MalformedCase{"pid=2115,pid=2116", "key 'pid' is given twice"},
                                         MalformedCase{"pid=2115,,serial=1", "camera 1"},
                                         MalformedCase{"pid=2115;;pid=2116", "camera 2"},
                                         MalformedCase{"pid 2115", "item 'pid 2115' is not key=value"}));

// Times of leaving and coming back: decimal seconds from the bus's start, replug after unplug.
struct TimeCase {
    const char* text;
    std::optional<std::chrono::milliseconds> unplug;
    std::optional<std::chrono::milliseconds> replug;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class UnplugTimes : public testing::TestWithParam<TimeCase> {};

TEST_P(UnplugTimes, AreReadAsSecondsFromTheBusStart) {
    const auto cameras = parseCameraSet(GetParam().text);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].unplugAfter, GetParam().unplug);
    EXPECT_EQ(cameras[0].replugAfter, GetParam().replug);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnplugTimes,
                         testing::Values(TimeCase{"pid=2115", std::nullopt, std::nullopt},
                                         TimeCase{"pid=2115,unplug=2", 2000ms, std::nullopt},
                                         TimeCase{"pid=2115,unplug=0", 0ms, std::nullopt},
                                         TimeCase{"pid=2115, unplug = 0.5 ,replug=0.75", 500ms, 750ms},
                                         TimeCase{"pid=2115,unplug=1.125,replug=1.126", 1125ms, 1126ms},
                                         TimeCase{"pid=2115,replug=10,unplug=9.99", 9990ms, 10000ms},
                                         TimeCase{"pid=2115,unplug=86400", 86400s, std::nullopt}));

class MalformedUnplugTime : public MalformedCameraSet {};

TEST_P(MalformedUnplugTime, IsRefusedWithAMessageNamingTheText) {
    try {
        parseCameraSet(GetParam().text);
        FAIL() << "accepted: " << GetParam().text;
    } catch (const ConfigError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(GetParam().text), std::string::npos) << message;
        EXPECT_NE(message.find(GetParam().mustName), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedUnplugTime,
    testing::Values(
        MalformedCase{"pid=2115,unplug=-1", "key 'unplug' has the value '-1'; a time must not be negative"},
        MalformedCase{"pid=2115,unplug=1,replug=-0.5", "key 'replug' has the value '-0.5'; a time must not"},
        MalformedCase{"pid=2115,unplug=soon", "key 'unplug' has the value 'soon'; expected seconds"},
        MalformedCase{"pid=2115,unplug=", "key 'unplug' has the value ''"},
        MalformedCase{"pid=2115,unplug=.5", "key 'unplug' has the value '.5'"},
        MalformedCase{"pid=2115,unplug=1.", "key 'unplug' has the value '1.'"},
        MalformedCase{"pid=2115,unplug=0.0001", "key 'unplug' has the value '0.0001'"},
        MalformedCase{"pid=2115,unplug=1e3", "key 'unplug' has the value '1e3'"},
        MalformedCase{"pid=2115,unplug=+1", "key 'unplug' has the value '+1'"},
        MalformedCase{"pid=2115,unplug=2s", "key 'unplug' has the value '2s'"},
        MalformedCase{"pid=2115,unplug=1.2.3", "key 'unplug' has the value '1.2.3'"},
        MalformedCase{"pid=2115,unplug=86400.001", "key 'unplug' has the value '86400.001'"},
        MalformedCase{"pid=2115,unplug=99999999999999999999", "key 'unplug'"},
        MalformedCase{"pid=2115,replug=2", "key 'replug' needs an unplug time"},
        MalformedCase{"pid=2115,unplug=2,replug=2", "key 'replug' must come later than unplug"},
        MalformedCase{"pid=2115,unplug=3,replug=1.5", "key 'replug' must come later than unplug"},
        MalformedCase{"pid=2115,unplug=1,unplug=2", "key 'unplug' is given twice"}));

TEST(CameraSetText, TrailingSemicolonIsTolerated) {
    EXPECT_EQ(parseCameraSet("pid=2115;pid=2221;").size(), 2u);
}

TEST(BusRateText, DefaultsAndLimits) {
    EXPECT_EQ(parseBusRate(nullptr), simulator::kDefaultBusRateMBps);
    EXPECT_EQ(parseBusRate("0"), 0u);
    EXPECT_EQ(parseBusRate(" 480 "), 480u);
    for (const char* bad : {"", "fast", "-1", "12MB", "1.5"}) {
        EXPECT_THROW(parseBusRate(bad), ConfigError) << bad;
    }
}

}  // namespace
