// Which camera model a USB identity stands for, and with which constructor parameters.
#pragma once

#include <optional>

namespace ZmCoreLib_v4 {

// Image sensors, by the codes the models take (0 when an identity names none).
inline constexpr unsigned kSensorNone = 0;
inline constexpr unsigned kSensorIcx205 = 0x205;
inline constexpr unsigned kSensorIcx285 = 0x285;
inline constexpr unsigned kSensorIcx415 = 0x415;
inline constexpr unsigned kSensorKodak11002 = 0x11002;
inline constexpr unsigned kSensorDalsaFt50 = 0x50;

enum class CameraModel { MT9M032, DalsaFT50, SonyIcx285, SonyIcx285B, Kodak };

struct ModelChoice {
    CameraModel model = CameraModel::MT9M032;
    unsigned sensor = kSensorNone;
    bool fibreOptic = false;
    bool sensorTemperature = false;
    bool intensifier = false;

    bool operator==(const ModelChoice&) const = default;
};

// The model for a product id and release number (bcdDevice); none for an identity no model
// serves. A few identities are listed by name; every other product id is decoded by its fields:
// bits 15-12 equal to 6 mean fibre optics, bit 2 a sensor that reports its temperature, bits 11-8
// the family of camera and bits 7-4 the sensor.
std::optional<ModelChoice> selectModel(unsigned productId, unsigned releaseNumber);

}  // namespace ZmCoreLib_v4
