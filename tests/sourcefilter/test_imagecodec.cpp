// The snapshot writer: byte layouts, format choice, exclusive creation, write failures, and what
// independent readers see in the files.
#include "imagecodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "filesizelimit.h"
#include "imagereader.h"
#include "platform/error.h"
#include "qx_classes/exception.h"

namespace ZenmiraVidSource {
namespace {

using ZmCoreLib_v4::testing_support::fileBytes;
using ZmCoreLib_v4::testing_support::FileSizeLimit;
using ZmCoreLib_v4::testing_support::greySamples;
using ZmCoreLib_v4::testing_support::haveTool;
using ZmCoreLib_v4::testing_support::identify;
using ZmCoreLib_v4::testing_support::TempFolder;
using ZmCoreLib_v4::testing_support::tiffinfo;

namespace fs = std::filesystem;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::u16string u16(const fs::path& p) {
    return p.u16string();
}

// A w x h 16-bit picture whose every sample differs in both bytes.
std::vector<std::uint16_t> ramp16(int w, int h) {
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(0x0102 * (i + 1) + 0x1000 * i);
    return samples;
}

TEST(ImageCodecLayout, TwoByTwoSixteenBitTiffHasTheBaselineDirectory) {
    TempFolder folder;
    const std::vector<std::uint16_t> samples{0x1234, 0xABCD, 0x0001, 0xFF00};
    ImageCodec codec(2, 2, 16, u"gray", samples.data());
    ASSERT_TRUE(codec.Save(u"tiff", u16(folder.path() / "a")));

    const auto b = fileBytes(folder.path() / "a.tiff");
    ASSERT_EQ(b.size(), 110u + 8u);
    EXPECT_EQ(le16(b, 0), 0x4949);
    EXPECT_EQ(le16(b, 2), 42);
    EXPECT_EQ(le32(b, 4), 8u);
    EXPECT_EQ(le16(b, 8), 8);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    const Entry expected[] = {{256, 3, 2}, {257, 3, 2},   {258, 3, 16}, {259, 3, 1},
                              {262, 3, 1}, {273, 4, 110}, {278, 3, 2},  {279, 4, 8}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const std::size_t at = 10 + 12 * i;
        SCOPED_TRACE(expected[i].tag);
        EXPECT_EQ(le16(b, at), expected[i].tag);
        EXPECT_EQ(le16(b, at + 2), expected[i].type);
        EXPECT_EQ(le32(b, at + 4), 1u);
        EXPECT_EQ(le32(b, at + 8), expected[i].value);
    }
    EXPECT_EQ(le32(b, 106), 0u);
    EXPECT_EQ(std::memcmp(&b[110], samples.data(), 8), 0);
}

TEST(ImageCodecLayout, TwoByTwoSixteenBitBmpKeepsHighBytesUnderAGreyPalette) {
    TempFolder folder;
    const std::vector<std::uint16_t> samples{0x1234, 0xABCD, 0x0001, 0xFF00};
    ImageCodec codec(2, 2, 16, u"gray", samples.data());
    ASSERT_TRUE(codec.Save(u"bmp", u16(folder.path() / "a")));

    const auto b = fileBytes(folder.path() / "a.bmp");
    // Rows of two bytes are padded to four, as every BMP reader expects.
    ASSERT_EQ(b.size(), 1078u + 8u);
    EXPECT_EQ(le16(b, 0), 0x4D42);
    EXPECT_EQ(le32(b, 2), 1086u);
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), 1078u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(static_cast<std::int32_t>(le32(b, 18)), 2);
    EXPECT_EQ(static_cast<std::int32_t>(le32(b, 22)), -2);
    EXPECT_EQ(le16(b, 26), 1);
    EXPECT_EQ(le16(b, 28), 8);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), 8u);
    EXPECT_EQ(le32(b, 46), 256u);
    EXPECT_EQ(le32(b, 50), 0u);
    for (int i : {0, 1, 127, 255})
        EXPECT_EQ(le32(b, 54 + 4 * i), static_cast<std::uint32_t>(i * 0x010101)) << i;
    const std::vector<std::uint8_t> pixels(b.begin() + 1078, b.end());
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0x12, 0xAB, 0, 0, 0x00, 0xFF, 0, 0}));
}

TEST(ImageCodecLayout, FourWideBmpHasTheUnpaddedSize) {
    TempFolder folder;
    const auto samples = ramp16(4, 1);
    ImageCodec codec(4, 1, 16, u"gray", samples.data());
    ASSERT_TRUE(codec.Save(u"bmp", u16(folder.path() / "a")));
    const auto b = fileBytes(folder.path() / "a.bmp");
    ASSERT_EQ(b.size(), 1078u + 4u);
    EXPECT_EQ(le32(b, 2), 1082u);
    EXPECT_EQ(le32(b, 34), 4u);
}

struct FormatCase {
    const char16_t* format;
    const char* extension;
    friend void PrintTo(const FormatCase& c, std::ostream* out) {
        *out << "format list \"";
        for (const char16_t* p = c.format; *p; ++p) *out << static_cast<char>(*p);
        *out << '"';
    }
};

class ImageCodecFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(ImageCodecFormat, PartsOfTheFormatListChooseTheFileType) {
    TempFolder folder;
    const auto samples = ramp16(4, 2);
    ImageCodec codec(4, 2, 16, u"gray", samples.data());
    ASSERT_TRUE(codec.Save(GetParam().format, u16(folder.path() / "a")));
    std::vector<fs::path> made;
    for (const auto& entry : fs::directory_iterator(folder.path())) made.push_back(entry.path().filename());
    EXPECT_EQ(made, std::vector<fs::path>{fs::path(std::string("a.") + GetParam().extension)});
}

std::string formatCaseName(const testing::TestParamInfo<FormatCase>& param) {
    static const char* const kNames[] = {"Bmp", "Tiff", "WholeList", "Mp", "PSemicolonT", "Empty"};
    return kNames[param.index];
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageCodecFormat,
                         testing::Values(FormatCase{u"bmp", "bmp"}, FormatCase{u"tiff", "tiff"},
                                         FormatCase{u"bmp;tiff", "bmp"}, FormatCase{u"mp", "tiff"},
                                         FormatCase{u"p;t", "tiff"}, FormatCase{u"", "bmp"}),
                         formatCaseName);

TEST(ImageCodecErrors, UnsupportedFormatOrColourModelThrowsWithoutMakingAFile) {
    TempFolder folder;
    const auto samples = ramp16(2, 2);
    for (const char16_t* format : {u"png", u"jpg", u"tiff;", u"BMP"}) {
        ImageCodec codec(2, 2, 16, u"gray", samples.data());
        EXPECT_THROW(codec.Save(format, u16(folder.path() / "a")), BadCodecFormat);
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
    EXPECT_THROW(ImageCodec(2, 2, 16, u"rgb", samples.data()), BadCodecFormat);
    EXPECT_NO_THROW(ImageCodec(2, 2, 16, u"ra", samples.data()));  // a part of "gray"
}

TEST(ImageCodecErrors, AnExistingFileIsNeverOverwritten) {
    TempFolder folder;
    const auto first = ramp16(2, 2);
    const std::vector<std::uint16_t> second(4, 0x7777);
    ImageCodec(2, 2, 16, u"gray", first.data()).Save(u"tiff", u16(folder.path() / "a"));
    const auto before = fileBytes(folder.path() / "a.tiff");

    ImageCodec again(2, 2, 16, u"gray", second.data());
    try {
        again.Save(u"tiff", u16(folder.path() / "a"));
        FAIL() << "saving over an existing file succeeded";
    } catch (const qx_classes::Win32_exception& e) {
        EXPECT_EQ(e.error(), static_cast<std::uint32_t>(EEXIST));
        EXPECT_EQ(std::string(e.what()), platform::errorText(EEXIST));
        EXPECT_EQ(std::string(e.what()).back(), '\n');
    }
    EXPECT_EQ(fileBytes(folder.path() / "a.tiff"), before);
}

TEST(ImageCodecErrors, AMissingFolderReportsTheSystemsReason) {
    TempFolder folder;
    const auto samples = ramp16(2, 2);
    ImageCodec codec(2, 2, 16, u"gray", samples.data());
    try {
        codec.Save(u"bmp", u16(folder.path() / "missing" / "a"));
        FAIL() << "saving into a missing folder succeeded";
    } catch (const qx_classes::Win32_exception& e) {
        EXPECT_EQ(e.error(), static_cast<std::uint32_t>(ENOENT));
    }
}

TEST(ImageCodecErrors, UnsupportedDepthLeavesAnEmptyFile) {
    TempFolder folder;
    const auto samples = ramp16(4, 2);  // enough bytes for a 2 x 2 picture of 32-bit samples
    for (int bits : {0, 12, 32}) {
        const fs::path base = folder.path() / ("d" + std::to_string(bits));
        ImageCodec codec(2, 2, bits, u"gray", samples.data());
        EXPECT_FALSE(codec.Save(u"tiff", u16(base))) << bits;
        EXPECT_EQ(fs::file_size(base.string() + ".tiff"), 0u) << bits;
    }
}

// A file system that cannot take the whole file (here a file-size limit, which makes the pixel
// write come back short and the next one fail): the system's own cause is reported, and nothing
// is left under the name or beside it, so the name is free once there is room again.
TEST(ImageCodecErrors, AFullDiskLeavesNoFileAndReportsTheSystemsCause) {
    TempFolder folder;
    const auto samples = ramp16(64, 64);
    for (const char16_t* format : {u"tiff", u"bmp"}) {
        const std::u16string base = u16(folder.path() / "full");
        SCOPED_TRACE(format == std::u16string(u"bmp") ? "bmp" : "tiff");
        {
            FileSizeLimit full(2000);
            ImageCodec codec(64, 64, 16, u"gray", samples.data());
            try {
                codec.Save(format, base);
                ADD_FAILURE() << "saving beyond the file-size limit succeeded";
            } catch (const qx_classes::Win32_exception& e) {
                EXPECT_EQ(e.error(), static_cast<std::uint32_t>(EFBIG));
                EXPECT_EQ(std::string(e.what()), platform::errorText(EFBIG));
            }
        }
        std::vector<fs::path> left;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            left.push_back(entry.path().filename());
        EXPECT_TRUE(left.empty()) << left.front();
        ImageCodec codec(64, 64, 16, u"gray", samples.data());
        EXPECT_TRUE(codec.Save(format, base));
        fs::remove_all(folder.path());
        fs::create_directory(folder.path());
    }
}

struct ReadBackCase {
    int width;
    int height;
    int bits;
    const char16_t* format;
    const char* extension;
    int fileDepth;
    friend void PrintTo(const ReadBackCase& c, std::ostream* out) {
        *out << c.width << "x" << c.height << " " << c.bits << "-bit ." << c.extension << ", " << c.fileDepth
             << "-bit file";
    }
};

class ImageCodecReadBack : public testing::TestWithParam<ReadBackCase> {};

TEST_P(ImageCodecReadBack, IndependentReadersSeeTheSamePicture) {
    if (!haveTool("identify") || !haveTool("convert"))
        GTEST_SKIP() << "ImageMagick (identify, convert) is not installed";
    const ReadBackCase c = GetParam();
    TempFolder folder;
    const auto samples16 = ramp16(c.width, c.height);
    std::vector<std::uint8_t> samples8(samples16.size());
    for (std::size_t i = 0; i < samples8.size(); ++i)
        samples8[i] = static_cast<std::uint8_t>(samples16[i] >> 8);
    ImageCodec codec(c.width, c.height, c.bits, u"gray",
                     c.bits == 16 ? static_cast<const void*>(samples16.data()) : samples8.data());
    ASSERT_TRUE(codec.Save(c.format, u16(folder.path() / "a")));
    const fs::path file = folder.path() / (std::string("a.") + c.extension);

    const auto description = identify(file);
    ASSERT_TRUE(description);
    EXPECT_EQ(description->width, c.width);
    EXPECT_EQ(description->height, c.height);
    EXPECT_EQ(description->depth, c.fileDepth);

    const auto read = greySamples(file, c.fileDepth);
    ASSERT_TRUE(read);
    std::vector<std::uint16_t> expected(samples16.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = c.fileDepth == 16 ? samples16[i] : samples8[i];
    EXPECT_EQ(*read, expected);

    if (c.fileDepth == 16 || std::string(c.extension) == "tiff") {
        if (!haveTool("tiffinfo")) return;
        const auto info = tiffinfo(file);
        ASSERT_TRUE(info);
        EXPECT_NE(info->find("Image Width: " + std::to_string(c.width) +
                             " Image Length: " + std::to_string(c.height)),
                  std::string::npos)
            << *info;
        EXPECT_NE(info->find("Bits/Sample: " + std::to_string(c.fileDepth)), std::string::npos) << *info;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ImageCodecReadBack,
    testing::Values(ReadBackCase{8, 5, 16, u"tiff", "tiff", 16}, ReadBackCase{7, 3, 16, u"tiff", "tiff", 16},
                    ReadBackCase{6, 4, 8, u"tiff", "tiff", 8}, ReadBackCase{8, 5, 16, u"bmp", "bmp", 8},
                    // widths that are not a multiple of four need padded rows
                    ReadBackCase{7, 3, 16, u"bmp", "bmp", 8}, ReadBackCase{5, 2, 8, u"bmp", "bmp", 8}));

}  // namespace
}  // namespace ZenmiraVidSource
