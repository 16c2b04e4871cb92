#include "simulator/configurationfile.h"

#include <array>
#include <cstring>

namespace simulator {

namespace {

constexpr char kMagic[] = "ZMSIMBIT";
constexpr std::size_t kMagicSize = 8;
constexpr std::size_t kSizeFieldSize = 4;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kFixedHeadSize = kMagicSize + kSizeFieldSize + 1;

std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

void put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t get32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint32_t, 256> table = makeCrcTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> makeConfigurationFile(std::string_view fileName, std::uint32_t size,
                                                std::string_view boards) {
    std::vector<std::uint8_t> bytes(kMagic, kMagic + kMagicSize);
    put32(bytes, size);
    bytes.push_back(static_cast<std::uint8_t>(fileName.size()));
    bytes.insert(bytes.end(), fileName.begin(), fileName.end());
    const std::string description = "Zenmira camera simulator: stand-in FPGA configuration " +
                                    std::string(fileName) + " for " + std::string(boards) +
                                    "; not a bitstream for real hardware.";
    bytes.insert(bytes.end(), description.begin(), description.end());
    bytes.push_back(0);
    // xorshift32 seeded by the name: every file differs, every build makes the same bytes.
    std::uint32_t state =
        crc32({reinterpret_cast<const std::uint8_t*>(fileName.data()), fileName.size()}) | 1;
    while (bytes.size() + kCrcSize < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    put32(bytes, crc32(bytes));
    return bytes;
}

std::optional<std::uint32_t> announcedConfigurationSize(std::span<const std::uint8_t> head) {
    if (head.size() < kMagicSize + kSizeFieldSize) return std::nullopt;
    if (std::memcmp(head.data(), kMagic, kMagicSize) != 0) return 0;
    return get32(head.data() + kMagicSize);
}

std::optional<std::string> recogniseConfiguration(std::span<const std::uint8_t> bytes) {
    const auto size = announcedConfigurationSize(bytes);
    if (!size || *size != bytes.size() || bytes.size() < kFixedHeadSize + kCrcSize) return std::nullopt;
    const std::size_t nameLength = bytes[kMagicSize + kSizeFieldSize];
    if (kFixedHeadSize + nameLength + kCrcSize > bytes.size()) return std::nullopt;
    if (crc32(bytes.first(bytes.size() - kCrcSize)) != get32(bytes.data() + bytes.size() - kCrcSize)) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(bytes.data() + kFixedHeadSize), nameLength);
}

}  // namespace simulator
