// Which model a USB identity builds.
#include "devices/modelselection.h"

#include <gtest/gtest.h>

namespace ZmCoreLib_v4 {
namespace {}  // namespace

void PrintTo(const ModelChoice& choice, std::ostream* out) {
    *out << "model " << static_cast<int>(choice.model) << " sensor 0x" << std::hex << choice.sensor
         << " fibre-optic " << choice.fibreOptic << " sensor temperature " << choice.sensorTemperature
         << " intensifier " << choice.intensifier;
}

namespace {

struct SelectionCase {
    unsigned productId;
    unsigned release;
    std::optional<ModelChoice> expected;
};

ModelChoice sonyB(unsigned sensor, bool fibreOptic, bool sensorTemperature, bool intensifier = false) {
    return {CameraModel::SonyIcx285B, sensor, fibreOptic, sensorTemperature, intensifier};
}

TEST(ModelSelection, ProductIdAndReleaseChooseTheModel) {
    const SelectionCase cases[] = {
        {0x9100, 0, ModelChoice{.model = CameraModel::MT9M032, .fibreOptic = true}},
        {0x6120, 1, ModelChoice{.model = CameraModel::SonyIcx285, .fibreOptic = true}},
        {0x6120, 2, sonyB(kSensorIcx285, true, false)},
        {0x6120, 0, std::nullopt},
        {0x6120, 3, std::nullopt},
        {0x212E, 0, sonyB(kSensorIcx285, false, false, true)},
        {0x2200, 0, ModelChoice{.model = CameraModel::SonyIcx285}},
        {0x2201, 7, ModelChoice{.model = CameraModel::SonyIcx285}},
        // Decoded by fields.
        {0x2120, 0, sonyB(kSensorIcx285, false, false)},
        {0x2124, 0, sonyB(kSensorIcx285, false, true)},
        {0x2114, 0, sonyB(kSensorIcx205, false, true)},
        {0x2130, 0, sonyB(kSensorIcx415, false, false)},
        {0x213C, 0, sonyB(kSensorIcx415, false, true)},   // bit 3 selects nothing
        {0x2133, 0, sonyB(kSensorIcx415, false, false)},  // nor do bits 1 and 0
        {0x2140, 0, sonyB(kSensorNone, false, false)},
        {0x6110, 1, sonyB(kSensorIcx205, true, false)},
        {0x6134, 1, sonyB(kSensorIcx415, true, true)},
        {0x6214, 1, ModelChoice{CameraModel::Kodak, kSensorKodak11002, true, true, false}},
        {0x2220, 0, ModelChoice{CameraModel::Kodak, kSensorNone, false, false, false}},
        {0x2310, 0, ModelChoice{CameraModel::DalsaFT50, kSensorDalsaFt50, false, false, false}},
        {0x2320, 0, ModelChoice{CameraModel::DalsaFT50, kSensorNone, false, false, false}},
        // No model: the probe identities and unknown families.
        {0x2010, 0, std::nullopt},
        {0x2030, 0, std::nullopt},
        {0x2410, 0, std::nullopt},
        {0x2F00, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(selectModel(c.productId, c.release), c.expected)
            << std::hex << "product 0x" << c.productId << " release " << c.release;
    }
}

}  // namespace
}  // namespace ZmCoreLib_v4
