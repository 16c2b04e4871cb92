#include "devices/serialquery.h"

#include <array>
#include <cstdint>

#include "devices/settingids.h"
#include "zmbyteorder/littleendian.h"

namespace ZmCoreLib_v4 {

namespace {
constexpr std::uint8_t kQueryCommand = 0x80;
constexpr int kAnswerLength = 8;
constexpr int kFirstNumber = 4;
constexpr int kSecondNumber = 6;
}  // namespace

SerialNumbers querySerialNumbers(IHwLayer& layer, unsigned queryRegister) {
    layer.VendorWrite(0, queryRegister, &kQueryCommand, 1);
    std::array<std::uint8_t, kAnswerLength> answer{};
    layer.VendorRead(0, queryRegister, answer.data(), kAnswerLength);
    return {littleendian::get16(&answer[kFirstNumber]), littleendian::get16(&answer[kSecondNumber])};
}

void showSerialNumbers(IHwLayer& layer, SerialQueries serials, SettingFactory& factory,
                       CameraSettings& settings) {
    const auto showCameraSerials = [&](unsigned queryRegister) {
        const SerialNumbers numbers = querySerialNumbers(layer, queryRegister);
        settings.serial->SetNumber(numbers.first);
        settings.intensifierSerial->SetNumber(numbers.second);
    };
    const auto addControllerSerial = [&] {
        const SerialNumbers numbers = querySerialNumbers(layer, registers::kSerialQueryController);
        settings.controllerSerial = factory.addString(ids::kControllerSerial);
        settings.controllerSerial->SetNumber(numbers.first);
    };
    switch (serials) {
        case SerialQueries::kNone:
            break;
        case SerialQueries::kController:
            addControllerSerial();
            break;
        case SerialQueries::kCameraAndController:
            showCameraSerials(registers::kSerialQueryCamera);
            addControllerSerial();
            break;
        case SerialQueries::kCameraAtController:
            showCameraSerials(registers::kSerialQueryController);
            break;
    }
}

}  // namespace ZmCoreLib_v4
