#include "devices/modelselection.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr unsigned kProductMt9m032 = 0x9100;
constexpr unsigned kProductFibreOptic285 = 0x6120;
constexpr unsigned kProductIntensified285 = 0x212E;
constexpr unsigned kProductIcx285First = 0x2200;
constexpr unsigned kProductIcx285Second = 0x2201;

// The fibre-optic ICX285 camera exists in both families; its release number tells which.
constexpr unsigned kReleaseFamilyA = 1;
constexpr unsigned kReleaseFamilyB = 2;

constexpr unsigned kFibreOpticMark = 6;
constexpr unsigned kSensorTemperatureBit = 1u << 2;

constexpr unsigned kFamilySonyB = 1;
constexpr unsigned kFamilyKodak = 2;
constexpr unsigned kFamilyDalsa = 3;

unsigned sonySensor(unsigned nibble) {
    switch (nibble) {
        case 1:
            return kSensorIcx205;
        case 2:
            return kSensorIcx285;
        case 3:
            return kSensorIcx415;
        default:
            return kSensorNone;
    }
}

std::optional<ModelChoice> decodeFields(unsigned productId) {
    const bool fibreOptic = ((productId >> 12) & 0xF) == kFibreOpticMark;
    const bool sensorTemperature = (productId & kSensorTemperatureBit) != 0;
    const unsigned family = (productId >> 8) & 0xF;
    const unsigned sensorNibble = (productId >> 4) & 0xF;
    switch (family) {
        case kFamilySonyB:
            return ModelChoice{CameraModel::SonyIcx285B, sonySensor(sensorNibble), fibreOptic,
                               sensorTemperature, false};
        case kFamilyKodak:
            return ModelChoice{CameraModel::Kodak, sensorNibble == 1 ? kSensorKodak11002 : kSensorNone,
                               fibreOptic, sensorTemperature, false};
        case kFamilyDalsa:
            return ModelChoice{CameraModel::DalsaFT50, sensorNibble == 1 ? kSensorDalsaFt50 : kSensorNone,
                               fibreOptic, sensorTemperature, false};
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<ModelChoice> selectModel(unsigned productId, unsigned releaseNumber) {
    switch (productId) {
        case kProductMt9m032:
            return ModelChoice{.model = CameraModel::MT9M032, .fibreOptic = true};
        case kProductFibreOptic285:
            if (releaseNumber == kReleaseFamilyA)
                return ModelChoice{.model = CameraModel::SonyIcx285, .fibreOptic = true};
            if (releaseNumber == kReleaseFamilyB)
                return ModelChoice{
                    .model = CameraModel::SonyIcx285B, .sensor = kSensorIcx285, .fibreOptic = true};
            return std::nullopt;
        case kProductIntensified285:
            return ModelChoice{
                .model = CameraModel::SonyIcx285B, .sensor = kSensorIcx285, .intensifier = true};
        case kProductIcx285First:
        case kProductIcx285Second:
            return ModelChoice{.model = CameraModel::SonyIcx285};
        default:
            return decodeFields(productId);
    }
}

}  // namespace ZmCoreLib_v4
