#include "imagereader.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ZmCoreLib_v4::testing_support {

namespace {

std::string quoted(const std::filesystem::path& file) {
    std::string text = "'";
    for (char c : file.string()) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

}  // namespace

bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<std::string> run(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string output;
    std::array<char, 65536> chunk;
    std::size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), got);
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return output;
}

std::optional<Description> identify(const std::filesystem::path& file) {
    const auto output = run("identify -format '%w %h %z' " + quoted(file) + " 2>/dev/null");
    if (!output) return std::nullopt;
    Description description;
    std::istringstream in(*output);
    if (!(in >> description.width >> description.height >> description.depth)) return std::nullopt;
    return description;
}

std::optional<std::vector<std::uint16_t>> greySamples(const std::filesystem::path& file, int depth) {
    const auto output = run("convert " + quoted(file) + " -depth " + std::to_string(depth) +
                            " -endian LSB gray:- 2>/dev/null");
    if (!output) return std::nullopt;
    std::vector<std::uint16_t> samples;
    if (depth == 8) {
        for (unsigned char byte : *output) samples.push_back(byte);
    } else {
        for (std::size_t i = 0; i + 1 < output->size(); i += 2)
            samples.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>((*output)[i]) |
                                                         static_cast<unsigned char>((*output)[i + 1]) << 8));
    }
    return samples;
}

std::optional<std::string> tiffinfo(const std::filesystem::path& file) {
    return run("tiffinfo " + quoted(file) + " 2>&1");
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zmsrc-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace ZmCoreLib_v4::testing_support
