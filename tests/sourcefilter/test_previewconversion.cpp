// The live picture: mirrored rows, grey levels from the high byte, red border columns, the
// crosshair counted from the bottom row, and the vector path agreeing with the portable one.
#include "previewconversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace ZenmiraVidSource {

static const char* layoutName(PixelLayout layout) {
    return layout == PixelLayout::Bgr24 ? "Bgr24" : "Bgrx32";
}

// Found by argument-dependent lookup, so it lives in the layout's own namespace.
static void PrintTo(PixelLayout layout, std::ostream* out) {
    *out << layoutName(layout);
}

namespace {

constexpr std::uint8_t kPadding = 0xA5;

struct Picture {
    int width, height;
    PixelLayout layout;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;

    Picture(int w, int h, PixelLayout l, int extraStrideBytes = 0)
        : width(w),
          height(h),
          layout(l),
          stride(w * bytesPerPixel(l) + extraStrideBytes),
          bytes(static_cast<std::size_t>(stride * h), kPadding) {}
    PreviewTarget target() { return {bytes.data(), stride, layout}; }
    const std::uint8_t* at(int rowFromTop, int column) const {
        return &bytes[static_cast<std::size_t>(rowFromTop * stride + column * bytesPerPixel(layout))];
    }
    bool red(int rowFromBottom, int column) const {
        const std::uint8_t* p = at(height - 1 - rowFromBottom, column);
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    }
};

// Samples whose high byte is unique per pixel (modulo 256) and never 0 or 255.
std::vector<std::uint16_t> distinctFrame(int w, int h) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint16_t>(((i % 253) + 1) << 8 | 0x7F);
    return frame;
}

class PreviewLayouts : public testing::TestWithParam<PixelLayout> {};

TEST_P(PreviewLayouts, RowsAreMirroredGreyWithRedBorderAndPaddingUntouched) {
    const int w = 5, h = 3;
    const auto frame = distinctFrame(w, h);
    Picture picture(w, h, GetParam(), 3);
    convertPreview(frame.data(), w, h, picture.target(), CrosshairState{});
    const int pixelBytes = bytesPerPixel(GetParam());
    for (int t = 0; t < h; ++t) {
        for (int c = 0; c < w; ++c) {
            SCOPED_TRACE(testing::Message() << "row " << t << " column " << c);
            const std::uint8_t* p = picture.at(t, c);
            if (c == 0 || c == w - 1) {
                EXPECT_TRUE(picture.red(h - 1 - t, c));
            } else {
                const auto grey = static_cast<std::uint8_t>(frame[t * w + (w - 1 - c)] >> 8);
                EXPECT_EQ(p[0], grey);
                EXPECT_EQ(p[1], grey);
                EXPECT_EQ(p[2], grey);
            }
            if (pixelBytes == 4) {
                EXPECT_EQ(p[3], 0);
            }
        }
        for (int pad = 0; pad < 3; ++pad) EXPECT_EQ(picture.at(t, w)[pad], kPadding);
    }
}

TEST_P(PreviewLayouts, VectorPathMatchesPortablePathAtEveryWidth) {
    if (!vectorPathAvailable()) GTEST_SKIP() << "the processor has no AVX2";
    for (int w = 1; w <= 100; ++w) {
        const int h = 3;
        const auto frame = distinctFrame(w, h);
        Picture portable(w, h, GetParam(), 1), vector(w, h, GetParam(), 1);
        const CrosshairState crosshair{true, w / 2, 1};
        convertPreview(frame.data(), w, h, portable.target(), crosshair, ConversionPath::Portable);
        convertPreview(frame.data(), w, h, vector.target(), crosshair, ConversionPath::Vector);
        ASSERT_EQ(portable.bytes, vector.bytes) << "width " << w;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PreviewLayouts, testing::Values(PixelLayout::Bgr24, PixelLayout::Bgrx32),
                         [](const testing::TestParamInfo<PixelLayout>& param) {
                             return layoutName(param.param);
                         });

struct CrosshairCase {
    const char* name;
    std::int32_t x, y;
    // Expected red pixels besides the border: column x over rows [rowFirst, rowLast] and row y
    // over columns [columnFirst, columnLast]; an empty range draws nothing.
    int rowFirst, rowLast, columnFirst, columnLast;
    friend void PrintTo(const CrosshairCase& c, std::ostream* out) { *out << c.name; }
};

class PreviewCrosshair : public testing::TestWithParam<CrosshairCase> {};

TEST_P(PreviewCrosshair, OnlyTheArmsInsideThePictureAreRed) {
    const int w = 320, h = 240;
    const CrosshairCase c = GetParam();
    const std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h, 0x8000);
    Picture picture(w, h, PixelLayout::Bgr24);
    convertPreview(frame.data(), w, h, picture.target(), CrosshairState{true, c.x, c.y});
    int wrong = 0;
    for (int row = 0; row < h; ++row) {
        for (int column = 0; column < w; ++column) {
            const bool border = column == 0 || column == w - 1;
            const bool vertical = column == c.x && row >= c.rowFirst && row <= c.rowLast;
            const bool horizontal = row == c.y && column >= c.columnFirst && column <= c.columnLast;
            if (picture.red(row, column) != (border || vertical || horizontal)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Positions, PreviewCrosshair,
                         testing::Values(CrosshairCase{"Origin", 0, 0, 0, 99, 0, 99},
                                         CrosshairCase{"PageExample", 200, 100, 0, 199, 100, 299},
                                         CrosshairCase{"ClippedAtTopAndRight", 300, 200, 100, 239, 200, 319},
                                         CrosshairCase{"CentreLeftOfPicture", -50, 120, 1, 0, 0, 49},
                                         CrosshairCase{"FarOutside", INT_MAX, INT_MIN, 1, 0, 1, 0}),
                         [](const testing::TestParamInfo<CrosshairCase>& param) { return param.param.name; });

TEST(PreviewCrosshair, HiddenCrosshairDrawsNothing) {
    const int w = 300, h = 200;
    const std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h, 0x8000);
    Picture picture(w, h, PixelLayout::Bgrx32);
    convertPreview(frame.data(), w, h, picture.target(), CrosshairState{false, 200, 100});
    EXPECT_FALSE(picture.red(100, 200));
    EXPECT_FALSE(picture.red(50, 200));
}

}  // namespace
}  // namespace ZenmiraVidSource
