// The viewer's one persistent setting, the working folder, kept in an INI file.
//
// The file is $XDG_CONFIG_HOME/ZenmiraKelvo.ini (~/.config/ when the variable is unset or empty),
// section "Settings", keys "Work_folder" and "Expert". It is read on the first use of instance()
// and written back when the object is destroyed at process exit; a run that never asks for the
// working folder neither reads nor writes it. GUI thread only; no locking.
#pragma once

#include <string>
#include <vector>

class IniConfig {
public:
    enum Key { kWorkFolder = 0, kExpert = 1 };

    // The process's configuration, read from the file on the first call.
    static IniConfig& instance();

    // Reads `iniPath` now; a missing or unreadable file gives empty values, and an empty
    // working folder becomes the current directory.
    explicit IniConfig(std::string iniPath);
    // Writes both keys back into the file, keeping every other line of it; failures are silent.
    ~IniConfig();
    IniConfig(const IniConfig&) = delete;
    IniConfig& operator=(const IniConfig&) = delete;

    // kWorkFolder and kExpert give their values; any other key an empty text.
    const char16_t* get(int key) const;
    // Only kWorkFolder can be changed; other keys are ignored ("Expert" is carried through).
    void set(int key, const char16_t* text);

    // $XDG_CONFIG_HOME/ZenmiraKelvo.ini, or ~/.config/ZenmiraKelvo.ini.
    static std::string defaultPath();

private:
    const std::string iniPath_;
    std::vector<std::u16string> values_;  // indexed by Key
};
