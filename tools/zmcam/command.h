// The commands of zmcam. Each command is a function over the loaded camera library; main() finds
// it by name in the command table and hands it the rest of the command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "zmcorelib/zmcorelib.h"

namespace zmcam {

// What a command gets: the library's environment (never null) and its own arguments.
struct CommandContext {
    ZmCoreLib::IEnvironment& environment;
    std::vector<std::string> arguments;
    std::FILE* out;
    std::FILE* err;
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* usage;  // arguments, after the name
    const char* summary;
    int (*run)(CommandContext& context);
};

// Every command, in the order `zmcam help` shows them.
const std::vector<Command>& commands();

// The commands themselves, one file each.
int listCameras(CommandContext& context);
int showInfo(CommandContext& context);
int setSetting(CommandContext& context);
int grabFrames(CommandContext& context);

}  // namespace zmcam
