// Snapshots and series written by the pins, read back by independent readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "fakedevice.h"
#include "filesizelimit.h"
#include "imagereader.h"
#include "platform/error.h"
#include "platform/messagebox.h"
#include "seriesmanifest.h"
#include "zmsourcefilter.h"

namespace ZenmiraVidSource {
namespace {

using ZmCoreLib_v4::testing_support::FakeDevice;
using ZmCoreLib_v4::testing_support::fileBytes;
using ZmCoreLib_v4::testing_support::FileSizeLimit;
using ZmCoreLib_v4::testing_support::greySamples;
using ZmCoreLib_v4::testing_support::haveTool;
using ZmCoreLib_v4::testing_support::identify;
using ZmCoreLib_v4::testing_support::TempFolder;

namespace fs = std::filesystem;

class SinkForErrors final : public FilterEventSink {
public:
    void onPinAdded(unsigned) override {}
    void onGraphEvent(unsigned, std::int32_t, std::int32_t, std::int32_t) override {}
    void onSaveError(unsigned pin, const std::string& caption, const std::string& text,
                     std::int32_t framesNotSaved) override {
        errors.push_back({pin, caption, text, framesNotSaved});
    }
    struct Error {
        unsigned pin;
        std::string caption, text;
        std::int32_t framesNotSaved;
    };
    std::vector<Error> errors;
};

// A file's lines without their CRLF ends.
std::vector<std::string> manifestLines(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

class RecordingTest : public testing::Test {
protected:
    RecordingTest() {
        previousHandler_ =
            platform::setMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                boxes.push_back({caption, text});
            });
        filter.setEventSink(&sink);
        filter.AddDevice(&camera);
        filter.SetFolder(folder.path().u16string().c_str(), 0);
    }
    ~RecordingTest() override { platform::setMessageBoxHandler(previousHandler_); }

    void requireReaders() {
        if (!haveTool("identify") || !haveTool("convert"))
            GTEST_SKIP() << "ImageMagick (identify, convert) is not installed";
    }

    // The picture a file must hold for frame `samples`: the elements in reverse order, with
    // columns 0 and width-1 set to 0x00FF.
    static std::vector<std::uint16_t> savedImage(const std::vector<std::uint16_t>& samples, int w) {
        std::vector<std::uint16_t> image(samples.rbegin(), samples.rend());
        for (std::size_t row = 0; row < image.size() / w; ++row)
            image[row * w] = image[row * w + w - 1] = 0x00FF;
        return image;
    }

    static std::vector<std::uint16_t> frameNumbered(int w, int h, int number) {
        std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::uint16_t>(number * 0x1111 + i * 0x0101);
        return samples;
    }

    fs::path file(const std::string& name) const { return folder.path() / name; }

    static constexpr int kWidth = 12, kHeight = 5;
    TempFolder folder;
    FakeDevice camera{kWidth, kHeight, u"A17"};
    SinkForErrors sink;
    ZmSourceFilter filter;
    std::vector<std::pair<std::string, std::string>> boxes;

private:
    platform::MessageBoxHandler previousHandler_;
};

TEST_F(RecordingTest, SeriesNamesFilesWithACounterAndNeverOverwrites) {
    requireReaders();
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, n)));
    ASSERT_TRUE(sink.errors.empty());
    for (int n = 0; n < 3; ++n) {
        const fs::path saved = file("Камера_A17#" + std::to_string(n) + ".tiff");
        SCOPED_TRACE(saved);
        const auto description = identify(saved);
        ASSERT_TRUE(description);
        EXPECT_EQ(description->width, kWidth);
        EXPECT_EQ(description->height, kHeight);
        EXPECT_EQ(description->depth, 16);
        EXPECT_EQ(greySamples(saved, 16), savedImage(frameNumbered(kWidth, kHeight, n), kWidth));
    }
    const auto firstBytes = fileBytes(file("Камера_A17#0.tiff"));

    // Switching series on again restarts the counter: each new file collides with an old one.
    ASSERT_EQ(filter.SetSeries(false, 0), S_OK);
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    for (int n = 5; n < 7; ++n) camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, n));
    ASSERT_EQ(sink.errors.size(), 2u);
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(sink.errors[n].caption, "Zenmira Kelvo: Ошибка сохранения изображения");
        EXPECT_EQ(sink.errors[n].text, platform::errorText(EEXIST) + "\nИмя файла: \n" +
                                           (folder.path() / ("Камера_A17#" + std::to_string(n))).string());
    }
    EXPECT_TRUE(boxes.empty()) << "series errors never raise a box on the producer thread";
    EXPECT_EQ(fileBytes(file("Камера_A17#0.tiff")), firstBytes);
    EXPECT_FALSE(fs::exists(file("Камера_A17#3.tiff")));
}

// A file system that takes no more (a file-size limit stands in for a full disk): no file appears
// under a series name unless it is complete, the first failure says the system's own cause, and
// the frames that follow are counted instead of each making a file and a message. The count is
// reported when writing succeeds again and when the series is switched off.
TEST_F(RecordingTest, SeriesIntoAFullDiskLeavesNoPartialFilesAndCountsWhatItLost) {
    requireReaders();
    const auto seriesPath = [&](int n) {
        return (folder.path() / ("Камера_A17#" + std::to_string(n))).string();
    };
    const auto filesInFolder = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::size_t fileBytes = 110 + kWidth * kHeight * 2;
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    {
        FileSizeLimit full(fileBytes - 30);
        for (int n = 0; n < 3; ++n)
            ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, n)));
    }
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"Камера_A17.csv"});
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0].caption, "Zenmira Kelvo: Ошибка сохранения изображения");
    EXPECT_EQ(sink.errors[0].text, platform::errorText(EFBIG) + "\nИмя файла: \n" + seriesPath(0));

    // Room again: the next frame is saved under its own number, and the loss is told.
    ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, 3)));
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"Камера_A17#3.tiff", "Камера_A17.csv"}));
    EXPECT_EQ(greySamples(file("Камера_A17#3.tiff"), 16),
              savedImage(frameNumbered(kWidth, kHeight, 3), kWidth));
    ASSERT_EQ(sink.errors.size(), 2u);
    EXPECT_EQ(sink.errors[1].text, "Не сохранено кадров серии: 3 (Камера_A17#0 … Камера_A17#2)");
    EXPECT_EQ(sink.errors[0].framesNotSaved, 0);
    EXPECT_EQ(sink.errors[1].framesNotSaved, 3);

    {
        FileSizeLimit full(fileBytes - 30);
        for (int n = 4; n < 6; ++n)
            ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, n)));
        ASSERT_EQ(sink.errors.size(), 3u);
        EXPECT_EQ(sink.errors[2].text, platform::errorText(EFBIG) + "\nИмя файла: \n" + seriesPath(4));
        ASSERT_EQ(filter.SetSeries(false, 0), S_OK);
    }
    ASSERT_EQ(sink.errors.size(), 4u);
    EXPECT_EQ(sink.errors[3].pin, 0u);
    EXPECT_EQ(sink.errors[3].text, "Не сохранено кадров серии: 2 (Камера_A17#4 … Камера_A17#5)");
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"Камера_A17#3.tiff", "Камера_A17.csv"}));
    EXPECT_TRUE(boxes.empty());
}

// Every frame of a series has its line in the manifest beside the images, which reaches the
// file as the frame is handled: the file that holds the frame, or why none does. The last line
// sums up what was not saved.
TEST_F(RecordingTest, SeriesManifestListsEveryFrameWithItsFileOrWhyItHasNone) {
    requireReaders();
    constexpr int kFrames = 100;
    const std::set<int> taken{7, 42, 99};  // their names are taken: those frames cannot be saved
    for (int n : taken) std::ofstream(file("Камера_A17#" + std::to_string(n) + ".tiff")) << "older";
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    for (int n = 0; n < kFrames; ++n)
        ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, n)));
    EXPECT_EQ(manifestLines(file("Камера_A17.csv")).size(), 1u + kFrames);
    ASSERT_EQ(filter.SetSeries(false, 0), S_OK);

    const auto lines = manifestLines(file("Камера_A17.csv"));
    ASSERT_EQ(lines.size(), 1u + kFrames + 1u);
    EXPECT_EQ(lines.front(), "series_index,frame_number,monotonic_ns,wall_clock_utc,file,status");
    for (int n = 0; n < kFrames; ++n) {
        const std::string name = "Камера_A17#" + std::to_string(n) + ".tiff";
        SCOPED_TRACE(name);
        const bool saved = !taken.contains(n);
        // The fake camera's library tells no frame information: those columns stay empty.
        EXPECT_EQ(lines[1 + n],
                  std::to_string(n) + ",,,," + name + "," +
                      (saved ? std::string("saved") : "not saved: " + std::string(std::strerror(EEXIST))));
        if (saved && n % 25 == 0) {
            EXPECT_EQ(greySamples(file(name), 16), savedImage(frameNumbered(kWidth, kHeight, n), kWidth));
        } else if (saved) {
            EXPECT_TRUE(fs::exists(file(name)));
        }
    }
    EXPECT_EQ(lines.back(), "summary,,,,,not saved=3");
}

// A manifest is always a new file: the next series beside an earlier one, or beside a file of
// that name, gets the next free name and the older file stays as it was. A series without
// frames makes none.
TEST_F(RecordingTest, SeriesManifestNeverReplacesAFile) {
    std::ofstream(file("Камера_A17.csv")) << "kept";
    for (int series = 0; series < 2; ++series) {
        ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
        // The first series' frame goes into #0, the second one's finds that name taken.
        ASSERT_TRUE(camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, series)));
        ASSERT_EQ(filter.SetSeries(false, 0), S_OK);
    }
    ASSERT_EQ(filter.SetSeries(true, 0), S_OK);
    ASSERT_EQ(filter.SetSeries(false, 0), S_OK);
    EXPECT_EQ(manifestLines(file("Камера_A17.csv")), std::vector<std::string>{"kept<no line end>"});
    for (const char* name : {"Камера_A17~2.csv", "Камера_A17~3.csv"})
        EXPECT_EQ(manifestLines(file(name)).size(), 3u) << name;
    EXPECT_FALSE(fs::exists(file("Камера_A17~4.csv")));
    EXPECT_EQ(sink.errors.size(), 1u) << "only the second series' taken image name is an error";
}

// The manifest's fields as CSV readers take them back.
TEST(SeriesManifestFields, AreQuotedOnlyWhenTheyMustBe) {
    const std::pair<std::string_view, std::string> cases[] = {
        {"saved", "saved"},
        {"Камера_A17#3.tiff", "Камера_A17#3.tiff"},
        {"not saved: a, b", "\"not saved: a, b\""},
        {"say \"x\"", "\"say \"\"x\"\"\""},
        {"two\nlines", "\"two\nlines\""},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(csvField(text), field) << text;
    EXPECT_EQ(utcTimestamp(0), "1970-01-01T00:00:00.000000000Z");
    EXPECT_EQ(utcTimestamp(1796995202123456789), "2026-12-11T13:20:02.123456789Z");
}

// A snapshot that does not fit leaves nothing under its name: the next snapshot can take it.
TEST_F(RecordingTest, ASnapshotThatDoesNotFitLeavesTheNameFree) {
    camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, 1));
    {
        FileSizeLimit full(100);
        EXPECT_EQ(filter.Snapshot(0), S_OK);
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second,
              platform::errorText(EFBIG) + "\nИмя файла: \n" + (folder.path() / "Камера_A17").string());
    EXPECT_FALSE(fs::exists(file("Камера_A17.tiff")));
    EXPECT_EQ(filter.Snapshot(0), S_OK);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(fs::file_size(file("Камера_A17.tiff")), 110u + kWidth * kHeight * 2);
}

// Cameras that report no serial number (no such setting, or an empty one) are named after their
// pin, as the element names its pads, so that two of them never write to the same file.
TEST_F(RecordingTest, CamerasWithoutSerialNumberWriteFilesOfTheirOwn) {
    FakeDevice withoutSetting{kWidth, kHeight, u"", false};
    FakeDevice emptySerial{kWidth, kHeight, u""};
    ASSERT_EQ(filter.AddDevice(&withoutSetting), S_OK);
    ASSERT_EQ(filter.AddDevice(&emptySerial), S_OK);
    for (unsigned pin : {1u, 2u}) {
        filter.SetFolder(folder.path().u16string().c_str(), pin);
        filter.SetSeries(true, pin);
    }
    for (FakeDevice* device : {&withoutSetting, &emptySerial})
        ASSERT_TRUE(device->buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, 1)));
    filter.SetSeries(false, 1);
    filter.SetSeries(false, 2);
    ASSERT_EQ(filter.Snapshot(2), S_OK);
    EXPECT_TRUE(sink.errors.empty()) << sink.errors.front().text;
    EXPECT_TRUE(boxes.empty());
    for (const char* name : {"Камера_src_1#0.tiff", "Камера_src_2#0.tiff", "Камера_src_2.tiff"})
        EXPECT_TRUE(fs::exists(file(name))) << name;
    // The cameras go before the filter: the pins leave their buffers first.
    filter.pin(1)->unbind();
    filter.pin(2)->unbind();
}

TEST_F(RecordingTest, SecondSnapshotIntoTheSameFolderShowsTheSystemsText) {
    requireReaders();
    const auto frame = frameNumbered(kWidth, kHeight, 1);
    camera.buffer().commit16(kWidth, kHeight, frame);
    ASSERT_EQ(filter.SetFileFormat(u"bmp", 0), S_OK);
    EXPECT_EQ(filter.Snapshot(0), S_OK);
    EXPECT_TRUE(boxes.empty());
    const fs::path saved = file("Камера_A17.bmp");
    const auto description = identify(saved);
    ASSERT_TRUE(description);
    EXPECT_EQ(description->width, kWidth);
    EXPECT_EQ(description->height, kHeight);
    EXPECT_EQ(description->depth, 8);
    std::vector<std::uint16_t> highBytes;
    for (std::uint16_t sample : savedImage(frame, kWidth)) highBytes.push_back(sample >> 8);
    EXPECT_EQ(greySamples(saved, 8), highBytes);

    EXPECT_EQ(filter.Snapshot(0), S_OK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Zenmira Kelvo: Ошибка сохранения изображения");
    EXPECT_EQ(boxes[0].second,
              platform::errorText(EEXIST) + "\nИмя файла: \n" + (folder.path() / "Камера_A17").string());
}

TEST_F(RecordingTest, SnapshotBeforeTheFirstFrameLeavesAnEmptyFile) {
    EXPECT_EQ(filter.Snapshot(0), S_OK);
    EXPECT_TRUE(boxes.empty());
    ASSERT_TRUE(fs::exists(file("Камера_A17.tiff")));
    EXPECT_EQ(fs::file_size(file("Камера_A17.tiff")), 0u);
}

TEST_F(RecordingTest, AFormatTheWriterRefusesShowsTheFormatError) {
    fs::remove_all(folder.path());  // and the folder is gone too: the format is checked first
    camera.buffer().commit16(kWidth, kHeight, frameNumbered(kWidth, kHeight, 1));
    // The filter never accepts such a format; a pin can still hold one only through its own state.
    filter.pin(0)->setFileFormat(u"png");
    EXPECT_EQ(filter.Snapshot(0), S_OK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, "Неверный формат файла");
}

// While the streaming thread has not yet adopted a new frame size, series files hold the new
// frame at its own size: the writer never reads beyond the copied frame.
TEST_F(RecordingTest, SeriesFrameOfANewSizeIsSavedAtItsOwnSize) {
    requireReaders();
    filter.SetSeries(true, 0);
    for (const auto& [w, h] : {std::pair{4, 2}, std::pair{40, 30}}) {
        const auto frame = frameNumbered(w, h, 2);
        ASSERT_TRUE(camera.buffer().commit16(w, h, frame));
    }
    for (const auto& [n, w, h] : {std::tuple{0, 4, 2}, std::tuple{1, 40, 30}}) {
        const auto description = identify(file("Камера_A17#" + std::to_string(n) + ".tiff"));
        ASSERT_TRUE(description);
        EXPECT_EQ(description->width, w);
        EXPECT_EQ(description->height, h);
    }
    EXPECT_EQ(greySamples(file("Камера_A17#0.tiff"), 16), savedImage(frameNumbered(4, 2, 2), 4));
}

}  // namespace
}  // namespace ZenmiraVidSource
