// The list a series keeps beside its image files: one line per frame that reached the pin while
// the series ran, saying which camera frame it was, when it came, which file holds it, and
// "saved" or why it was not; and at the end a summary with the camera's ledger of lost frames.
//
// The file is CSV (RFC 4180, UTF-8, one header line):
//   series_index,frame_number,monotonic_ns,wall_clock_utc,file,status
// frame_number and the two times are empty when the camera library tells no frame information.
// The summary line has "summary" as its series index and the ledger's counts in its status.
//
// Every line goes to the file with one write as soon as it is made, so a crash of the program
// loses no line that was made; a line the file system does not take whole is taken back. The
// file is created new: an existing file is never replaced.
//
// Threads: one owner at a time (the pin, under the filter lock); nothing here blocks longer
// than a write to the folder's file system.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zmcorelib/deviceextensions.h"

namespace ZenmiraVidSource {

class SeriesManifest {
public:
    // The manifest's status of a frame whose file was written.
    static constexpr std::string_view kSaved = "saved";

    // Creates `<base>.csv` (`base` is a path without extension), or when that name is taken the
    // first free `<base>~2.csv`, `<base>~3.csv`, ...; null with *error set (the system's text and
    // the file name) when none can be created.
    static std::unique_ptr<SeriesManifest> create(const std::string& base, std::string* error);
    ~SeriesManifest();
    SeriesManifest(const SeriesManifest&) = delete;
    SeriesManifest& operator=(const SeriesManifest&) = delete;

    const std::string& path() const { return path_; }

    // One frame: its number in the series, the library's information when there is any, the
    // file's name (without folder) and "saved" or the reason it was not.
    void frame(std::int32_t seriesIndex, const std::optional<ZmCoreLib::FrameInfo>& info,
               std::string_view fileName, std::string_view status);
    // The closing line: the frames the series listed and could not save, and the camera's
    // ledger when the library keeps one.
    void summary(std::int32_t framesNotSaved, const std::optional<ZmCoreLib::DropLedger>& ledger);

    // The system's error code of the first line that could not be written, 0 while all were.
    int writeError() const { return writeError_; }

private:
    SeriesManifest(int fd, std::string path);
    void writeLine(std::string line);

    const int fd_;
    const std::string path_;
    int writeError_ = 0;
    off_t complete_ = 0;  // bytes of the lines written whole
};

// A field as CSV writes it: quoted, with its quotes doubled, when it holds a comma, a quote or a
// line break.
std::string csvField(std::string_view text);

// CLOCK_REALTIME nanoseconds as "YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ".
std::string utcTimestamp(std::int64_t realtimeNs);

}  // namespace ZenmiraVidSource
