#include <cstdio>
#include <memory>

#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4 {

namespace {
// Bytes per configuration request, as the controller takes them.
constexpr int kConfigurationPieceSize = 128;
constexpr int kConfigurationResets = 3;
}  // namespace

int LoadFpgaConfiguration(IHwLayer& layer, const std::string& path, int index) {
    for (int i = 0; i < kConfigurationResets; ++i)
        layer.VendorWrite(index, kFpgaConfigurationReset, nullptr, 0);

    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return 1;
    unsigned char piece[kConfigurationPieceSize];
    std::size_t count = 0;
    do {
        count = std::fread(piece, 1, sizeof piece, file.get());
        if (count > 0) layer.VendorWrite(index, kFpgaConfigurationData, piece, static_cast<int>(count));
    } while (count == sizeof piece);
    return 0;
}

}  // namespace ZmCoreLib_v4
