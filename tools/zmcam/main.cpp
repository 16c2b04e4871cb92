// zmcam: the cameras from the command line, through the camera library as any client uses it.
//   zmcam <command> [arguments]
// The library is loaded at run time (libzmcorelib_v4.so from the normal search path, the
// program's ../lib or its own folder); ZMCORE_SIMULATE selects simulated cameras.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "platform/library.h"
#include "simulator/cameraconfig.h"

namespace {

constexpr const char* kLibraryName = "libzmcorelib_v4.so";

// The library reports a malformed simulation and goes on with no cameras, which would make any
// command look as if it had worked on an empty bus; zmcam stops at the user's mistake instead.
bool simulationIsWellFormed() {
    const char* cameraSet = std::getenv("ZMCORE_SIMULATE");
    if (cameraSet == nullptr) return true;
    try {
        simulator::parseBusConfig(cameraSet, std::getenv("ZMCORE_SIM_BUS_MBPS"));
        return true;
    } catch (const simulator::ConfigError& error) {
        std::fprintf(stderr, "zmcam: %s\nCorrect ZMCORE_SIMULATE or unset it to use real cameras.\n",
                     error.what());
        return false;
    }
}

constexpr std::size_t kCallColumnWidth = 28;

void printUsage(std::FILE* stream) {
    std::fprintf(stream, "usage: zmcam <command> [arguments]\n\ncommands:\n");
    for (const zmcam::Command& command : zmcam::commands()) {
        const std::string call = std::string(command.name) + (*command.usage ? " " : "") + command.usage;
        // A call too long for the column gets its summary on the next line.
        if (call.size() > kCallColumnWidth) {
            std::fprintf(stream, "  %s\n  %-*s %s\n", call.c_str(), static_cast<int>(kCallColumnWidth), "",
                         command.summary);
        } else {
            std::fprintf(stream, "  %-*s %s\n", static_cast<int>(kCallColumnWidth), call.c_str(),
                         command.summary);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? zmcam::kExitUsage : zmcam::kExitOk;
    }
    const zmcam::Command* command = nullptr;
    for (const zmcam::Command& candidate : zmcam::commands()) {
        if (std::strcmp(candidate.name, argv[1]) == 0) command = &candidate;
    }
    if (command == nullptr) {
        std::fprintf(stderr, "zmcam: unknown command '%s'\n", argv[1]);
        printUsage(stderr);
        return zmcam::kExitUsage;
    }

    if (!simulationIsWellFormed()) return zmcam::kExitFailure;
    platform::DynamicLibrary library;
    if (!library.loadBesideCaller(kLibraryName)) {
        std::fprintf(stderr, "zmcam: cannot load the camera library: %s\n", library.error().c_str());
        return zmcam::kExitFailure;
    }
    auto getEnvironment = reinterpret_cast<GetEnvironmentFunction>(library.symbol("GetEnvironment"));
    if (getEnvironment == nullptr) {
        std::fprintf(stderr, "zmcam: %s has no GetEnvironment: %s\n", kLibraryName, library.error().c_str());
        return zmcam::kExitFailure;
    }
    ZmCoreLib::IEnvironment* environment = getEnvironment();
    if (environment == nullptr) {
        std::fprintf(stderr, "zmcam: the camera library could not look for cameras\n");
        return zmcam::kExitFailure;
    }
    zmcam::CommandContext context{*environment, std::vector<std::string>(argv + 2, argv + argc), stdout,
                                  stderr};
    return command->run(context);
}
