#include <charconv>

#include "devices/firmware.h"
#include "hardware/usb/usbdevice.h"

namespace ZmCoreLib_v4 {

namespace {

constexpr std::uint8_t kFirmwareLoadRequest = 0xA0;
constexpr std::uint16_t kCpuControlAddress = 0xE600;
constexpr std::uint8_t kCpuHold = 0x01;
constexpr std::uint8_t kCpuRun = 0x00;
constexpr std::size_t kProductIdByte = 10;
constexpr std::size_t kReleaseByte = 12;
constexpr std::size_t kRecordHeadDigits = 8;  // byte count, address, type

std::optional<unsigned> hexField(std::string_view line, std::size_t offset, std::size_t digits) {
    if (offset + digits > line.size()) return std::nullopt;
    unsigned value = 0;
    const char* first = line.data() + offset;
    const auto [end, error] = std::from_chars(first, first + digits, value, 16);
    if (error != std::errc() || end != first + digits) return std::nullopt;
    return value;
}

void writeMemory(CCyControlEndPoint& control, std::uint16_t address, const std::uint8_t* bytes,
                 std::uint32_t length) {
    control.target = CCyControlEndPoint::kTargetDevice;
    control.requestType = CCyControlEndPoint::kRequestVendor;
    control.requestCode = kFirmwareLoadRequest;
    control.value = address;
    control.index = 0;
    std::uint32_t count = length;
    control.Write(bytes, count);
}

}  // namespace

std::optional<FirmwareRecord> parseFirmwareRecord(std::string_view line) {
    const auto count = hexField(line, 0, 2);
    const auto address = hexField(line, 2, 4);
    const auto type = hexField(line, 6, 2);
    if (!count || !address || !type) return std::nullopt;
    FirmwareRecord record;
    record.address = static_cast<std::uint16_t>(*address);
    record.type = static_cast<std::uint8_t>(*type);
    for (unsigned i = 0; i < *count; ++i) {
        const auto byte = hexField(line, kRecordHeadDigits + 2 * i, 2);
        if (!byte) return std::nullopt;
        record.data.push_back(static_cast<std::uint8_t>(*byte));
    }
    return record;
}

void downloadFirmware(UsbDevice& device, std::uint16_t productId, std::uint16_t release) {
    CCyControlEndPoint* control = device.controlEndPoint();
    if (control == nullptr) return;
    writeMemory(*control, kCpuControlAddress, &kCpuHold, 1);
    for (int r = 0; r < kFirmwareRecordCount; ++r) {
        std::optional<FirmwareRecord> record = parseFirmwareRecord(kFirmwareRecords[r]);
        if (!record || record->data.empty()) break;
        if (r == kFirmwareDescriptorRecord && record->data.size() >= kReleaseByte + 2) {
            record->data[kProductIdByte] = static_cast<std::uint8_t>(productId);
            record->data[kProductIdByte + 1] = static_cast<std::uint8_t>(productId >> 8);
            record->data[kReleaseByte] = static_cast<std::uint8_t>(release);
            record->data[kReleaseByte + 1] = static_cast<std::uint8_t>(release >> 8);
        }
        writeMemory(*control, record->address, record->data.data(),
                    static_cast<std::uint32_t>(record->data.size()));
    }
    writeMemory(*control, kCpuControlAddress, &kCpuRun, 1);
}

}  // namespace ZmCoreLib_v4
