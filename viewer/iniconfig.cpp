#include "iniconfig.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "inifile.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kKeyNames[] = {"Work_folder", "Expert"};
constexpr const char* kFileName = "ZenmiraKelvo.ini";

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

IniConfig& IniConfig::instance() {
    static IniConfig config(defaultPath());
    return config;
}

std::string IniConfig::defaultPath() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && *configHome) return (std::filesystem::path(configHome) / kFileName).string();
    const char* home = std::getenv("HOME");
    return (std::filesystem::path(home ? home : ".") / ".config" / kFileName).string();
}

IniConfig::IniConfig(std::string iniPath) : iniPath_(std::move(iniPath)) {
    const std::string text = readWholeFile(iniPath_);
    for (const char* key : kKeyNames)
        values_.push_back(platform::toUtf16(inifile::readValue(text, kSection, key)));
    if (values_[kWorkFolder].empty()) {
        std::error_code error;
        values_[kWorkFolder] = platform::toUtf16(std::filesystem::current_path(error).string());
    }
}

IniConfig::~IniConfig() {
    std::string text = readWholeFile(iniPath_);
    for (size_t key = 0; key < values_.size(); ++key)
        text = inifile::writeValue(text, kSection, kKeyNames[key], platform::toUtf8(values_[key]));
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(iniPath_).parent_path(), error);
    std::ofstream(iniPath_, std::ios::binary | std::ios::trunc) << text;
}

const char16_t* IniConfig::get(int key) const {
    if (key == kWorkFolder || key == kExpert) return values_[key].c_str();
    return u"";
}

void IniConfig::set(int key, const char16_t* text) {
    if (key == kWorkFolder) values_[kWorkFolder] = text ? text : u"";
}
