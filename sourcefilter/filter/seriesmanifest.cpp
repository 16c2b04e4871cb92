#include "seriesmanifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace ZenmiraVidSource {

namespace {

constexpr char kHeader[] = "series_index,frame_number,monotonic_ns,wall_clock_utc,file,status";
// Names tried after `<base>.csv` is taken, before giving up.
constexpr int kMaxAlternativeNames = 99;

}  // namespace

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string utcTimestamp(std::int64_t realtimeNs) {
    const std::time_t seconds = static_cast<std::time_t>(realtimeNs / 1'000'000'000);
    const long nanoseconds = static_cast<long>(realtimeNs % 1'000'000'000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%09ldZ", nanoseconds);
    return text;
}

std::unique_ptr<SeriesManifest> SeriesManifest::create(const std::string& base, std::string* error) {
    for (int attempt = 1; attempt <= kMaxAlternativeNames + 1; ++attempt) {
        const std::string path = base + (attempt == 1 ? "" : "~" + std::to_string(attempt)) + ".csv";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            std::unique_ptr<SeriesManifest> manifest(new SeriesManifest(fd, path));
            manifest->writeLine(kHeader);
            return manifest;
        }
        if (errno != EEXIST) {
            *error = std::string(std::strerror(errno)) + "\n" + "Имя файла: " + "\n" + path;
            return nullptr;
        }
    }
    *error = "Every name for the series list is taken\nИмя файла: \n" + base + ".csv";
    return nullptr;
}

SeriesManifest::SeriesManifest(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

SeriesManifest::~SeriesManifest() {
    ::close(fd_);
}

void SeriesManifest::frame(std::int32_t seriesIndex, const std::optional<ZmCoreLib::FrameInfo>& info,
                           std::string_view fileName, std::string_view status) {
    std::string line = std::to_string(seriesIndex) + ",";
    if (info) {
        line += std::to_string(info->frameNumber) + "," + std::to_string(info->monotonicNs) + "," +
                utcTimestamp(info->realtimeNs) + ",";
    } else {
        line += ",,,";
    }
    line += csvField(fileName) + "," + csvField(status);
    writeLine(std::move(line));
}

void SeriesManifest::summary(std::int32_t framesNotSaved,
                             const std::optional<ZmCoreLib::DropLedger>& ledger) {
    std::string counts = "not saved=" + std::to_string(framesNotSaved);
    if (ledger) {
        counts += "; delivered by the camera library=" + std::to_string(ledger->delivered);
        for (std::uint32_t stage = 0; stage < ZmCoreLib::kDropStageCount; ++stage) {
            counts += "; ";
            counts += ZmCoreLib::DropStageText(static_cast<ZmCoreLib::DropStage>(stage));
            counts += "=" + std::to_string(ledger->lost[stage]);
        }
    }
    writeLine("summary,,,,," + csvField(counts));
}

void SeriesManifest::writeLine(std::string line) {
    line += "\r\n";
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (writeError_ == 0) writeError_ = written < 0 ? errno : ENOSPC;
            // No half line stays behind to run into the next one.
            if (::ftruncate(fd_, complete_) == 0) ::lseek(fd_, complete_, SEEK_SET);
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    complete_ += static_cast<off_t>(line.size());
}

}  // namespace ZenmiraVidSource
