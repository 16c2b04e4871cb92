// A file that appears under its name only when it is complete, and never in place of another.
//
// The data goes into a hidden file in the folder of the wanted name (".<name>.<random>"); publish()
// gives it the wanted name in one step that fails when that name exists. Readers never see a part
// of the file under its name, an existing file is never overwritten, and a file that is not
// published leaves nothing behind (a crash while writing leaves the hidden file). Nothing is
// flushed to the disk before publishing: the file is complete for readers, not safe from a power
// cut. Every failure sets lastError() to the system's own cause (ENOSPC, EFBIG, EEXIST, ...).
// One object writes one file, on one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/export.h"

namespace platform {

class ZM_PLATFORM_API NewFile {
public:
    NewFile() = default;
    // Discards a file that was not published.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Starts the file that is to be named `path` (UTF-8). False when the hidden file cannot be
    // made there (the folder is missing, no permission, ...).
    bool create(const std::string& path);
    // Appends all `size` bytes, going on after partial writes. False when the file system takes
    // no more; the file is then of no use and is discarded by publish() or the destructor.
    bool write(const void* data, std::size_t size);
    // Bytes written so far.
    std::uint64_t size() const { return size_; }
    // Closes the file and gives it its name. False, discarding the data, when a write failed,
    // when closing reports a late write error, or when the name exists (EEXIST).
    bool publish();

private:
    void discard();

    int fd_ = -1;
    std::string path_;
    std::string hiddenPath_;
    std::uint64_t size_ = 0;
    int writeError_ = 0;
};

}  // namespace platform
