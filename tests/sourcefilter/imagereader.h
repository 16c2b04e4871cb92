// Reads written pictures back with independent tools (ImageMagick, libtiff's tiffinfo), so that a
// file is judged by what other programs see in it, not by our own writer's idea of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ZmCoreLib_v4::testing_support {

bool haveTool(const std::string& name);
// Standard output of a shell command, or nothing when it failed.
std::optional<std::string> run(const std::string& command);

struct Description {
    int width = 0;
    int height = 0;
    int depth = 0;  // bits per sample
};
// As ImageMagick's identify sees the file.
std::optional<Description> identify(const std::filesystem::path& file);
// Grey samples as ImageMagick decodes them, row after row from the top, at `depth` 8 or 16
// (16-bit samples returned as values, not bytes).
std::optional<std::vector<std::uint16_t>> greySamples(const std::filesystem::path& file, int depth);
// tiffinfo's listing of the file.
std::optional<std::string> tiffinfo(const std::filesystem::path& file);

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file);

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace ZmCoreLib_v4::testing_support
