#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hardware/hwlayer.h"
#include "hardware/registers/configuration.h"

namespace ZmCoreLib_v4 {

namespace {

// Bytes per configuration request, as the controller takes them.
constexpr int kConfigurationPieceSize = 128;
constexpr int kConfigurationResets = 3;

// Closes the file at the end of the scope.
struct FileGuard {
    int descriptor;
    ~FileGuard() {
        if (descriptor >= 0) ::close(descriptor);
    }
};

int fail(std::string* problem, const std::string& text) {
    if (problem != nullptr) *problem = text;
    return 1;
}

// Fills `piece` as far as the file goes; the bytes read, or -1 with errno on a read error.
ssize_t readPiece(int descriptor, unsigned char* piece, std::size_t size) {
    std::size_t count = 0;
    while (count < size) {
        const ssize_t got = ::read(descriptor, piece + count, size - count);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        count += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(count);
}

}  // namespace

int loadFpgaConfiguration(IHwLayer& layer, const std::string& path, int index, std::string* problem) {
    for (int i = 0; i < kConfigurationResets; ++i)
        layer.VendorWrite(index, registers::kConfigurationReset, nullptr, 0);

    // Without blocking: a FIFO in the file's place would wait for a writer in open.
    const FileGuard file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.descriptor < 0) return fail(problem, std::string("cannot be opened: ") + std::strerror(errno));
    struct stat status {};
    if (::fstat(file.descriptor, &status) != 0)
        return fail(problem, std::string("cannot be opened: ") + std::strerror(errno));
    if (!S_ISREG(status.st_mode)) return fail(problem, "is not a regular file");
    if (status.st_size == 0) return fail(problem, "is empty");

    unsigned char piece[kConfigurationPieceSize];
    ssize_t count = 0;
    do {
        count = readPiece(file.descriptor, piece, sizeof piece);
        if (count < 0)
            return fail(problem, std::string("could not be read to its end: ") + std::strerror(errno));
        if (count > 0)
            layer.VendorWrite(index, registers::kConfigurationData, piece, static_cast<int>(count));
    } while (count == static_cast<ssize_t>(sizeof piece));
    return 0;
}

}  // namespace ZmCoreLib_v4
