// The camera controller's firmware and how discovery downloads it.
//
// The firmware is a table of Intel-HEX records kept as text lines without the leading colon: two
// hex digits byte count, four address, two record type, the data bytes, two checksum. Record
// kFirmwareDescriptorRecord loads the device descriptor; its data bytes 10-11 (product id) and
// 12-13 (release number), both least significant byte first, are patched before a download so
// that the camera attaches again under the identity discovery chose.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ZmCoreLib_v4 {

class UsbDevice;

inline constexpr int kFirmwareRecordCount = 329;
inline constexpr int kFirmwareDescriptorRecord = 182;
extern const char* const kFirmwareRecords[kFirmwareRecordCount];

struct FirmwareRecord {
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    std::vector<std::uint8_t> data;  // byte count = data.size()
};

// The record a line holds; nullopt when the line is too short for its byte count or holds a
// character that is not a hex digit. The record type and checksum are read, not checked.
std::optional<FirmwareRecord> parseFirmwareRecord(std::string_view line);

// Downloads the firmware over the device's control endpoint with `productId` and `release`
// patched into its descriptor: holds the CPU (0x01 to 0xE600), writes every record up to the
// first with byte count 0 (vendor request 0xA0, value = load address), releases the CPU (0x00 to
// 0xE600). Transfer failures are not reported, as the controller answers nothing it could act
// on; the caller learns the outcome when the camera attaches again. Blocks the calling thread for
// the ~330 control transfers.
void downloadFirmware(UsbDevice& device, std::uint16_t productId, std::uint16_t release);

}  // namespace ZmCoreLib_v4
