// Writes the stand-in FPGA configuration files of every simulated camera board into a folder.
//   zm_make_configuration_files <folder>
#include <cstdio>
#include <fstream>
#include <string>

#include "simulator/configurationfile.h"
#include "simulator/hardwaremodel.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    for (const simulator::ConfigurationFileSpec& spec : simulator::configurationFiles()) {
        const std::string path = std::string(argv[1]) + "/" + std::string(spec.fileName);
        const auto bytes = simulator::makeConfigurationFile(spec.fileName, spec.size, spec.boards);
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
