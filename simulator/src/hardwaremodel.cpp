#include "simulator/hardwaremodel.h"

namespace simulator {

namespace {

// Bitstream sizes of the two FPGA sizes the boards carry.
constexpr std::uint32_t kSmallFpgaBytes = 130952;
constexpr std::uint32_t kLargeFpgaBytes = 212392;

constexpr ConfigurationFileSpec kConfigurationFiles[] = {
    {"zmu0100.bit", kSmallFpgaBytes, "probe; fibre-optic ICX285 and ICX205/285/415 packed"},
    {"zmu0101.bit", kLargeFpgaBytes, "fibre-optic Kodak 11002"},
    {"zmu0200n.bit", kLargeFpgaBytes, "fibre-optic MT9M032"},
    {"zmu2200.bit", kSmallFpgaBytes, "ICX285"},
    {"zmu2310.bit", kSmallFpgaBytes, "Dalsa FT50"},
    {"zmu212e.bit", kSmallFpgaBytes, "ICX285 packed with intensifier"},
    {"zmu2110.bit", kSmallFpgaBytes, "ICX205 packed"},
    {"zmu2114.bit", kSmallFpgaBytes, "ICX205 packed with sensor temperature"},
    {"zmu2120.bit", kSmallFpgaBytes, "ICX285 packed"},
    {"zmu2124.bit", kSmallFpgaBytes, "ICX285 packed with sensor temperature"},
    {"zmu2130.bit", kSmallFpgaBytes, "ICX415 packed"},
    {"zmu2134.bit", kSmallFpgaBytes, "ICX415 packed with sensor temperature"},
};

// name, family, fibre, file, probe, sensor w/h, default w/h, slots, clock, period us, exposure us
constexpr HardwareModel kProbe{"probe", Family::A, true, kProbeConfigurationFile, true, 0, 0, 0, 0, 0,
                               1,       0,         0};
constexpr HardwareModel kMt9m032{"MT9M032", Family::A, true, "zmu0200n.bit", false, 1440, 1080, 1440,
                                 1080,      4,         1,    1000000,        1000};
constexpr HardwareModel kIcx285Fibre{"ICX285", Family::A, true, "zmu0100.bit", false, 1392, 1040, 1380,
                                     1040,     4,         1,    250000,        25000};
constexpr HardwareModel kIcx285{"ICX285", Family::A, false, "zmu2200.bit", false, 1392, 1040, 1380,
                                1040,     4,         1,     250000,        25000};
constexpr HardwareModel kDalsaFt50{"FT50", Family::A, false, "zmu2310.bit", false, 1028, 1028, 1028,
                                   1028,   4,         1,     500000,        50000};
constexpr HardwareModel kIcx285PackedFibre{
    "ICX285 packed", Family::B, true, "zmu0100.bit", false, 1392, 1040, 1392, 1040, 4, 60, 500000, 100000};
constexpr HardwareModel kIcx285Intensified{"ICX285 packed, intensifier",
                                           Family::B,
                                           false,
                                           "zmu212e.bit",
                                           false,
                                           1392,
                                           1040,
                                           1392,
                                           1040,
                                           4,
                                           60,
                                           500000,
                                           100000};
constexpr HardwareModel kKodakFibre{"Kodak 11002", Family::B, true, "zmu0101.bit", false, 4036, 2692, 4036,
                                    2692,          2,         60,   800000,        40000};
constexpr HardwareModel kKodak{"Kodak 11002", Family::B, false, "", false,  4036, 2692,
                               4036,          2692,      2,     60, 800000, 40000};

// Packed Sony boards by sensor nibble (1: ICX205, 2: ICX285, 3: ICX415), fibre-optic or by the
// sensor-temperature bit.
constexpr HardwareModel kSonyPacked[3][3] = {
    {{"ICX205 packed", Family::B, true, "zmu0100.bit", false, 1392, 1040, 1392, 1040, 4, 30, 500000, 100000},
     {"ICX205 packed", Family::B, false, "zmu2110.bit", false, 1392, 1040, 1392, 1040, 4, 30, 500000, 100000},
     {"ICX205 packed", Family::B, false, "zmu2114.bit", false, 1392, 1040, 1392, 1040, 4, 30, 500000,
      100000}},
    {{"ICX285 packed", Family::B, true, "zmu0100.bit", false, 1392, 1040, 1392, 1040, 4, 60, 500000, 100000},
     {"ICX285 packed", Family::B, false, "zmu2120.bit", false, 1392, 1040, 1392, 1040, 4, 60, 500000, 100000},
     {"ICX285 packed", Family::B, false, "zmu2124.bit", false, 1392, 1040, 1392, 1040, 4, 60, 500000,
      100000}},
    {{"ICX415 packed", Family::B, true, "zmu0100.bit", false, 780, 582, 780, 582, 4, 60, 500000, 100000},
     {"ICX415 packed", Family::B, false, "zmu2130.bit", false, 780, 582, 780, 582, 4, 60, 500000, 100000},
     {"ICX415 packed", Family::B, false, "zmu2134.bit", false, 780, 582, 780, 582, 4, 60, 500000, 100000}},
};

constexpr std::uint16_t kProbeIdentities[] = {0x2010, 0x2030};
constexpr int kFibreOpticNibble = 6;
constexpr std::uint16_t kSensorTemperatureBit = 1u << 2;

}  // namespace

std::span<const ConfigurationFileSpec> configurationFiles() {
    return kConfigurationFiles;
}

const HardwareModel* hardwareModelFor(std::uint16_t productId, std::uint16_t release) {
    for (std::uint16_t probe : kProbeIdentities) {
        if (productId == probe) return &kProbe;
    }
    switch (productId) {
        case 0x9100:
            return &kMt9m032;
        case 0x6120:
            if (release == 1) return &kIcx285Fibre;
            if (release == 2) return &kIcx285PackedFibre;
            return nullptr;
        case 0x212E:
            return &kIcx285Intensified;
        case 0x2200:
        case 0x2201:
            return &kIcx285;
        default:
            break;
    }
    const bool fibreOptic = (productId >> 12) == kFibreOpticNibble;
    const int family = (productId >> 8) & 0xF;
    const int sensor = (productId >> 4) & 0xF;
    if (family == 1 && sensor >= 1 && sensor <= 3) {
        const int variant = fibreOptic ? 0 : (productId & kSensorTemperatureBit) ? 2 : 1;
        return &kSonyPacked[sensor - 1][variant];
    }
    if (family == 2 && sensor == 1) return fibreOptic ? &kKodakFibre : &kKodak;
    if (family == 3) return &kDalsaFt50;
    return nullptr;
}

}  // namespace simulator
