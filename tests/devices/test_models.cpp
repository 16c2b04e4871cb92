// Every camera model and variant on a simulated camera: the model the creator builds, the FPGA
// configuration the camera took, and the whole settings list clients see, in order, with units,
// ranges, start values and enabled flags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/devicedalsaft50.h"
#include "devices/devicekodak.h"
#include "devices/devicemt9m032.h"
#include "devices/devicesonyicx285.h"
#include "devices/devicesonyicx285b.h"
#include "settingtext.h"
#include "simulatedcameras.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

using Lines = std::vector<std::string>;

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The information texts every family starts with.
Lines texts(const std::string& name, const std::string& interfaceName, const std::string& serial = "",
            const std::string& serial2 = "") {
    return {"3101 " + name,   "3102 2.17",       "3103 " + interfaceName,
            "3104 " + serial, "3106 " + serial2, "310B "};
}

Lines geometry(int width, int height) {
    return {"3017 пкс [пкс] 0.." + std::to_string(width - 1) + " = 0",
            "3018 пкс [пкс] 0.." + std::to_string(height - 1) + " = 0",
            "3019 пкс [пкс] 1.." + std::to_string(width) + " = " + std::to_string(width),
            "301A пкс [пкс] 1.." + std::to_string(height) + " = " + std::to_string(height)};
}

const std::string kGain = "3003 5005,5006,5007,5008 = 5005";

Lines familyA(const std::string& framePeriod, const std::string& exposure, int width, int height) {
    return Lines{"3002 нс,мкс,мс [мс] " + framePeriod, "3004 нс,мкс,мс " + exposure, kGain} +
           geometry(width, height) + Lines{"3031 500D,500C = 500D", "3032 500F,5010 = 500F"};
}

// `framePeriod` and `exposure` in мс; the multi-exposure period starts raised to the exposure.
Lines familyB(const std::string& framePeriod, int exposureMs, int maxExposureMs, const std::string& frontEnd,
              int width, int height, const std::string& inputModes) {
    const std::string exposure = std::to_string(exposureMs);
    return Lines{"3002 нс,мкс,мс [мс] " + framePeriod,
                 "3005 нс,мкс,мс [мкс] 10..1000000 = " + exposure + "000 (off)",
                 "3004 нс,мкс,мс [мс] 1.." + std::to_string(maxExposureMs) + " = " + exposure, kGain} +
           Lines{"3040 нс [нс] 0..7 = " + frontEnd.substr(0, 1),
                 "3041 нс [нс] 0..7 = " + frontEnd.substr(1, 1),
                 "3042 нс [нс] 0..6 = " + frontEnd.substr(2, 1),
                 "3043 нс [нс] 0..2 = " + frontEnd.substr(3, 1)} +
           geometry(width, height) +
           Lines{"3030 " + inputModes + " = 501B",
                 "3037 нс,мкс,мс [нс] 0..1000000000 = 0",
                 "3031 500D,500C,500E = 500D",
                 "3032 500F,5010 = 500F",
                 "3033 500D,500C = 500D",
                 "3034 500F,5010 = 500F",
                 "3036 кдр [кдр] 1..1000000 = 10 (off)",
                 "3039 мкс,мс [мкс] 10..10000 = 10"};
}

Lines binning(int maximum) {
    const std::string range = "пкс [пкс] 1.." + std::to_string(maximum) + " = 1";
    return {"3007 " + range, "3008 " + range};
}

const Lines kCameraTemperature = {"310C "};
const Lines kBothTemperatures = {"310C ", "310D "};

// A single-pulse intensifier module of type 1 and the fast one of type 5, as they start.
const Lines kModuleType1 = {"3202 5013,5014,5015 = 5013",      "3203 В [В] 400..1000 = 400",
                            "3210 % [%] 1..100 = 1",           "3204 нс,мкс,мс [нс] 0..1000000 = 0",
                            "3205 нс,мкс [нс] 20..20000 = 20", "3206 нс,мкс,мс [нс] 1000..16777215 = 1000",
                            "3207 Имп [Имп] 1..7 = 1"};
const Lines kModuleType5 = {"3202 5013,5014,5015 = 5013", "3203 В [В] 400..1000 = 400",
                            "3210 % [%] 1..100 = 1", "3204 нс,мкс,мс [нс] 0..1000000 = 0",
                            "3205 нс,мкс,мс [нс] 10..20000 = 10"};

enum class Model { MT9M032, DalsaFT50, SonyIcx285, SonyIcx285B, Kodak };

Model modelOf(Device& device) {
    if (dynamic_cast<DeviceMT9M032*>(&device)) return Model::MT9M032;
    if (dynamic_cast<DeviceDalsaFT50*>(&device)) return Model::DalsaFT50;
    if (dynamic_cast<DeviceSonyIcx285*>(&device)) return Model::SonyIcx285;
    if (dynamic_cast<DeviceSonyIcx285B*>(&device)) return Model::SonyIcx285B;
    return Model::Kodak;
}

struct ModelCase {
    const char* what;
    const char* cameras;  // one simulated camera, as ZMCORE_SIMULATE describes it
    Model model;
    const char* configuration;
    Lines settings;
};

void PrintTo(const ModelCase& c, std::ostream* out) {
    *out << c.what;
}

const std::string kSonyBModes = "501B,501C,501E";

const ModelCase kModelCases[] = {
    {"MT9M032 over fibre optics", "pid=0x0200,serial=11,controller=21", Model::MT9M032, "zmu0200n.bit",
     texts("Zenmira-M2-MT9M032", "USB2.0 FiberOptic") +
         familyA("10..1000 = 1000", "[мкс] 1000..1000000 = 1000", 1440, 1080) + Lines{"3105 21"}},
    {"ICX285 over fibre optics (family A)", "pid=0x2011,type=0x2280,serial=12,serial2=32,controller=22",
     Model::SonyIcx285, "zmu0100.bit",
     texts("Zenmira-L2-285", "USB2.0 FiberOptic", "12", "32") +
         familyA("10..1000 = 250", "[мс] 1..1000 = 25", 1380, 1040) + Lines{"3105 22"} + binning(8)},
    {"ICX285 on USB (family A)", "pid=0x2200,serial=13", Model::SonyIcx285, "zmu2200.bit",
     texts("Zenmira-K2-285", "USB2.0") + familyA("10..1000 = 250", "[мс] 1..1000 = 25", 1380, 1040) +
         binning(8)},
    {"ICX285 over fibre optics with a type 5 intensifier", "pid=0x2011,type=0x2280,module=5",
     Model::SonyIcx285, "zmu0100.bit",
     texts("Zenmira-L2-285", "USB2.0 FiberOptic", "0", "0") +
         familyA("10..1000 = 250", "[мс] 1..1000 = 25", 1380, 1040) + kModuleType5 + Lines{"3105 0"} +
         binning(8)},
    {"ICX285 over fibre optics (family B)", "pid=0x2011,type=0x6120,serial=14,serial2=34,controller=24",
     Model::SonyIcx285B, "zmu0100.bit",
     texts("Zenmira-M2-285", "USB2.0-FiberOptic", "14", "34") +
         familyB("64..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + Lines{"3105 24"} +
         binning(8) + kCameraTemperature},
    {"ICX285 over fibre optics with sensor temperature", "pid=0x2011,type=0x6124,serial=15,controller=25",
     Model::SonyIcx285B, "zmu0100.bit",
     texts("Zenmira-M2-285П", "USB2.0-FiberOptic", "15", "0") +
         familyB("64..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + Lines{"3105 25"} +
         binning(8) + kBothTemperatures},
    {"ICX205 over fibre optics", "pid=0x2011,type=0x6110,serial=16", Model::SonyIcx285B, "zmu0100.bit",
     texts("Zenmira-M2-205", "USB2.0-FiberOptic", "16", "0") +
         familyB("128..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + Lines{"3105 0"} +
         binning(8) + kCameraTemperature},
    {"ICX415 over fibre optics with sensor temperature", "pid=0x2011,type=0x6134", Model::SonyIcx285B,
     "zmu0100.bit",
     texts("Zenmira-M2-415П", "USB2.0-FiberOptic", "0", "0") +
         familyB("19..100000 = 500", 100, 1000000, "2000", 780, 582, kSonyBModes) + Lines{"3105 0"} +
         binning(8) + kBothTemperatures},
    {"ICX205 on USB", "pid=0x2111,serial=17,serial2=37", Model::SonyIcx285B, "zmu2110.bit",
     texts("Zenmira-K2-205", "USB2.0", "17", "37") +
         familyB("128..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + binning(8) +
         kCameraTemperature},
    {"ICX205 on USB with sensor temperature", "pid=0x2115", Model::SonyIcx285B, "zmu2114.bit",
     texts("Zenmira-K2-205П", "USB2.0", "0", "0") +
         familyB("128..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + binning(8) +
         kBothTemperatures},
    {"ICX285 on USB", "pid=0x2121,serial=18,serial2=38", Model::SonyIcx285B, "zmu2120.bit",
     texts("Zenmira-K2-285", "USB2.0", "18", "38") +
         familyB("64..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + binning(8) +
         kCameraTemperature},
    {"ICX285 on USB with sensor temperature", "pid=0x2125", Model::SonyIcx285B, "zmu2124.bit",
     texts("Zenmira-K2-285П", "USB2.0", "0", "0") +
         familyB("64..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + binning(8) +
         kBothTemperatures},
    {"ICX415 on USB", "pid=0x2131", Model::SonyIcx285B, "zmu2130.bit",
     texts("Zenmira-K2-415", "USB2.0", "0", "0") +
         familyB("19..100000 = 500", 100, 1000000, "2000", 780, 582, kSonyBModes) + binning(8) +
         kCameraTemperature},
    {"ICX415 on USB with sensor temperature", "pid=0x2135", Model::SonyIcx285B, "zmu2134.bit",
     texts("Zenmira-K2-415П", "USB2.0", "0", "0") +
         familyB("19..100000 = 500", 100, 1000000, "2000", 780, 582, kSonyBModes) + binning(8) +
         kBothTemperatures},
    {"ICX285 with an intensifier", "pid=0x212F,module=1,serial=19,serial2=39", Model::SonyIcx285B,
     "zmu212e.bit",
     texts("Zenmira-K2-285-ЭОП", "USB2.0", "19", "39") +
         familyB("64..100000 = 500", 100, 1000000, "2000", 1392, 1040, kSonyBModes) + kModuleType1 +
         binning(8) + kCameraTemperature},
    // Kodak: the channel sets the pixel clock, so a 15 MHz channel reads out for 801 ms.
    {"Kodak on channel 19", "pid=0x2031,type=0x6214,channel=19,serial=20,serial2=40,controller=30",
     Model::Kodak, "zmu0101.bit",
     texts("Zenmira-M2-11002П (30МГц)", "USB2.0-FiberOptic", "20", "40") +
         familyB("431..1000000 = 800", 40, 200000, "2320", 4036, 2692, "501B") + Lines{"3105 30"} +
         binning(4) + kBothTemperatures},
    {"Kodak on channel 20", "pid=0x2031,type=0x6214,channel=20", Model::Kodak, "zmu0101.bit",
     texts("Zenmira-M2-11002П (Канал 1)", "USB2.0-FiberOptic", "0", "0") +
         familyB("801..1000000 = 801", 40, 200000, "2320", 4036, 2692, "501B") + Lines{"3105 0"} +
         binning(4) + kBothTemperatures},
    {"Kodak on channel 21", "pid=0x2031,type=0x621C,channel=21", Model::Kodak, "zmu0101.bit",
     texts("Zenmira-M2-11002П (Канал 2)", "USB2.0-FiberOptic", "0", "0") +
         familyB("801..1000000 = 801", 40, 200000, "2320", 4036, 2692, "501B") + Lines{"3105 0"} +
         binning(4) + kBothTemperatures},
    // The frame mode it starts in leaves the chronogram start without effect.
    {"Dalsa FT50", "pid=0x2311", Model::DalsaFT50, "zmu2310.bit",
     texts("Zenmira-K2-FT50", "USB2.0") + familyA("500..1000 = 500", "[мс] 1..1000 = 50", 1028, 1028) +
         Lines{"3030 5018,5019 = 5018", "3024 нс,мкс [нс] 100..1000000 = 1000",
               "3023 лн [лн] 0..1028 = 390 (off)", "3010 5021,5020 = 5021"}},
};

class CameraModels : public SimulatedCameras, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(CameraModels, BuildTheirModelWithItsConfigurationAndSettings) {
    const ModelCase& c = GetParam();
    attach(c.cameras);
    Device* device = createDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(modelOf(*device), c.model);
    EXPECT_EQ(camera().log().events().back(), std::string("FPGA: configured with ") + c.configuration);
    EXPECT_EQ(settingsText(*device), c.settings);
    EXPECT_TRUE(messages_.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, CameraModels, ::testing::ValuesIn(kModelCases));

class ModelBuilding : public SimulatedCameras {};

TEST_F(ModelBuilding, VersionTextShowsTheVersionRegister) {
    attach("pid=0x2200,version=0x0A0103");
    Device* device = createDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(settingText(*device->FindSetting(0x3102)), "3102 10.259");
}

TEST_F(ModelBuilding, SensorWithoutKnownTimingBuildsNoCamera) {
    attach("pid=0x2141");
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(createDevice(), nullptr);
}

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
