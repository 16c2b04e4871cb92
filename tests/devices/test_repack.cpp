#include "devices/repack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ZmCoreLib_v4 {
namespace {

using Pixels = std::vector<std::uint16_t>;
using Bytes = std::vector<std::uint8_t>;

// Small frames whose expected pictures are written out by hand: they pin down the reference.
struct KnownCase {
    std::string name;
    PixelPacking packing;
    int width;
    int height;
    int rotation;
    Bytes raw;
    Pixels expected;
    friend void PrintTo(const KnownCase& c, std::ostream* out) { *out << c.name; }
};

// Two pixels per row, big-endian: a = 0x0A01, b = 0x0B02, c = 0x0C03, d = 0x0D04.
const Bytes kSquare = {0x0A, 0x01, 0x0B, 0x02, 0x0C, 0x03, 0x0D, 0x04};
constexpr std::uint16_t a = 0x0A01, b = 0x0B02, c = 0x0C03, d = 0x0D04;

// Three rows of two pixels, packed: the groups run on across the row ends.
const Bytes kPackedRows = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF1, 0x23, 0x45, 0x67, 0x89};

class RepackKnownTest : public testing::TestWithParam<KnownCase> {};

TEST_P(RepackKnownTest, ReferenceAndFastPathGiveTheExpectedPicture) {
    const KnownCase& k = GetParam();
    Pixels reference(k.expected.size(), 0xFFFF);
    repackFrameReference(k.raw.data(), k.raw.size(), k.packing, k.width, k.height, k.rotation,
                         reference.data());
    EXPECT_EQ(reference, k.expected);
    Pixels fast(k.expected.size(), 0xFFFF);
    repackFrame(k.raw.data(), k.raw.size(), k.packing, k.width, k.height, k.rotation, fast.data());
    EXPECT_EQ(fast, k.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, RepackKnownTest,
    testing::Values(
        KnownCase{"ByteSwap", PixelPacking::kBigEndian16, 2, 2, 0, kSquare, {a, b, c, d}},
        KnownCase{"Rotate90", PixelPacking::kBigEndian16, 2, 2, 90, kSquare, {c, a, d, b}},
        KnownCase{"Rotate180", PixelPacking::kBigEndian16, 2, 2, 180, kSquare, {d, c, b, a}},
        KnownCase{"Rotate270", PixelPacking::kBigEndian16, 2, 2, 270, kSquare, {b, d, a, c}},
        // A 3 x 1 row turned a quarter becomes a 1 x 3 column.
        KnownCase{"Rotate90Row", PixelPacking::kBigEndian16, 3, 1, 90, {0, 1, 0, 2, 0, 3}, {1, 2, 3}},
        KnownCase{"Rotate270Row", PixelPacking::kBigEndian16, 3, 1, 270, {0, 1, 0, 2, 0, 3}, {3, 2, 1}},
        KnownCase{"Unpack12",
                  PixelPacking::kPacked12,
                  4,
                  1,
                  0,
                  {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
                  {0x1230, 0x5640, 0x9780, 0xABC0}},
        KnownCase{"Unpack12AcrossRows",
                  PixelPacking::kPacked12,
                  2,
                  3,
                  0,
                  kPackedRows,
                  {0x1230, 0x5640, 0x9780, 0xABC0, 0xDEF0, 0x2310}},
        KnownCase{"Unpack12Rotate90",
                  PixelPacking::kPacked12,
                  2,
                  3,
                  90,
                  kPackedRows,
                  {0xDEF0, 0x9780, 0x1230, 0x2310, 0xABC0, 0x5640}},
        KnownCase{"Unpack12Rotate180",
                  PixelPacking::kPacked12,
                  2,
                  3,
                  180,
                  kPackedRows,
                  {0x2310, 0xDEF0, 0xABC0, 0x9780, 0x5640, 0x1230}},
        // Raw bytes missing at the end read as zero instead of being read past.
        KnownCase{"ShortBufferReadsZero",
                  PixelPacking::kBigEndian16,
                  2,
                  2,
                  0,
                  {0x0A, 0x01, 0x0B},
                  {a, 0x0B00, 0, 0}},
        KnownCase{"Unpack12ShortBuffer",
                  PixelPacking::kPacked12,
                  4,
                  1,
                  0,
                  {0x12, 0x34, 0x56},
                  {0x1230, 0x5640, 0x0000, 0x0000}}),
    [](const testing::TestParamInfo<KnownCase>& param) { return param.param.name; });

// The fast paths against the reference on random data, over geometries that exercise every
// vector path and every remainder: widths off the 4-pixel group and the 16-pixel vector, heights
// off the 8-row tile, widths beyond the column blocks, and the cameras' real sizes.
struct Geometry {
    int width;
    int height;
};

struct FastCase {
    RepackIsa isa;
    Geometry geometry;
    PixelPacking packing;
    int rotation;
};

std::string describe(const FastCase& k) {
    const char* isa = k.isa == RepackIsa::kAvx512 ? "Avx512"
                      : k.isa == RepackIsa::kAvx2 ? "Avx2"
                                                  : "Portable";
    return std::string(isa) + std::to_string(k.geometry.width) + "x" + std::to_string(k.geometry.height) +
           (k.packing == PixelPacking::kPacked12 ? "Packed" : "Swapped") + "Rot" + std::to_string(k.rotation);
}

void PrintTo(const FastCase& k, std::ostream* out) {
    *out << describe(k);
}

std::string fastCaseName(const testing::TestParamInfo<FastCase>& param) {
    return describe(param.param);
}

class RepackFastPathTest : public testing::TestWithParam<FastCase> {};

TEST_P(RepackFastPathTest, MatchesReferenceWithExactAndShortBuffers) {
    const FastCase& k = GetParam();
    if (!repackIsaAvailable(k.isa)) GTEST_SKIP() << "this processor lacks the instruction set";
    const std::size_t pixels = static_cast<std::size_t>(k.geometry.width) * k.geometry.height;
    std::mt19937 random(static_cast<unsigned>(pixels * 7 + k.rotation));
    Bytes raw(rawFrameBytes(k.packing, pixels));
    for (auto& byte : raw) byte = static_cast<std::uint8_t>(random());

    // The exact-size vector lets the address sanitizer catch any read past the raw frame; the
    // shortened lengths make the fast paths fall back in the middle of a row.
    for (std::size_t missing : {std::size_t{0}, std::size_t{1}, std::size_t{7}, raw.size() / 3}) {
        const std::size_t length = raw.size() - std::min(missing, raw.size());
        Bytes shortened(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(length));
        Pixels expected(pixels, 0xFFFF);
        Pixels actual(pixels, 0xFFFF);
        repackFrameReference(shortened.data(), length, k.packing, k.geometry.width, k.geometry.height,
                             k.rotation, expected.data());
        repackFrameWith(k.isa, shortened.data(), length, k.packing, k.geometry.width, k.geometry.height,
                        k.rotation, actual.data());
        ASSERT_EQ(actual, expected) << "raw length " << length << " of " << raw.size();
    }
}

std::vector<FastCase> fastCases() {
    const Geometry geometries[] = {{1, 1},    {3, 5},     {16, 8},   {17, 9},    {33, 17},    {515, 11},
                                   {1030, 9}, {1392, 16}, {780, 30}, {4036, 10}, {1028, 1028}};
    std::vector<FastCase> cases;
    for (RepackIsa isa : {RepackIsa::kPortable, RepackIsa::kAvx2, RepackIsa::kAvx512}) {
        for (Geometry g : geometries) {
            for (PixelPacking packing : {PixelPacking::kBigEndian16, PixelPacking::kPacked12}) {
                for (int rotation : {0, 90, 180, 270}) cases.push_back({isa, g, packing, rotation});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Geometries, RepackFastPathTest, testing::ValuesIn(fastCases()), fastCaseName);

TEST(RawFrameBytesTest, PackedFramesCarryOneAndAHalfBytesPerPixelPaddedAsTheCameraSends) {
    EXPECT_EQ(rawFrameBytes(PixelPacking::kBigEndian16, 1392 * 1040), 1392u * 1040 * 2);
    EXPECT_EQ(rawFrameBytes(PixelPacking::kPacked12, 1392 * 1040), 1392u * 1040 * 3 / 2 + 4);
    EXPECT_EQ(rawFrameBytes(PixelPacking::kPacked12, 4), 8u);  // 6 + 4 rounded down to 8
    EXPECT_EQ(rawFrameBytes(PixelPacking::kPacked12, 3), 8u);  // 4 + 4
    EXPECT_EQ(rawFrameBytes(PixelPacking::kPacked12, 1), 4u);  // 1 + 4 rounded down to 4
}

}  // namespace
}  // namespace ZmCoreLib_v4
