// Streaming an FPGA configuration file to the configuration registers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "hardware/hwlayer.h"

namespace ZmCoreLib_v4 {
namespace {

// Records every vendor write; nothing else is expected of the layer.
class RecordingLayer : public IHwLayer {
public:
    struct Write {
        int index;
        unsigned address;
        std::vector<unsigned char> data;
    };
    void WriteRegister(unsigned, unsigned) override { ADD_FAILURE() << "unexpected register write"; }
    unsigned ReadRegister(unsigned) override { return 0; }
    void VendorWrite(int index, unsigned address, const void* data, int length) override {
        const auto* bytes = static_cast<const unsigned char*>(data);
        writes.push_back(
            {index, address,
             bytes ? std::vector<unsigned char>(bytes, bytes + length) : std::vector<unsigned char>(length)});
    }
    void VendorRead(int, unsigned, void*, int) override {}
    bool ReadData(void*, const int*, int) override { return false; }
    std::vector<Write> writes;
};

class FpgaConfigurationTest : public ::testing::Test {
protected:
    std::string writeFile(std::size_t size) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("zm-fpga-" + std::to_string(::getpid()) + "-" + std::to_string(size) + ".bit");
        std::ofstream file(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) file.put(static_cast<char>(i * 13 + 5));
        paths_.push_back(path);
        return path.string();
    }
    void TearDown() override {
        for (const auto& path : paths_) std::filesystem::remove(path);
    }
    RecordingLayer layer;

private:
    std::vector<std::filesystem::path> paths_;
};

TEST_F(FpgaConfigurationTest, ThreeResetsThenTheFileUnchangedInPiecesOf128Bytes) {
    const std::pair<std::size_t, std::vector<std::size_t>> cases[] = {
        {300, {128, 128, 44}}, {256, {128, 128}}, {1, {1}}, {0, {}}};
    for (const auto& [size, pieces] : cases) {
        layer.writes.clear();
        const std::string path = writeFile(size);
        EXPECT_EQ(LoadFpgaConfiguration(layer, path, 2), 0);
        ASSERT_EQ(layer.writes.size(), 3 + pieces.size()) << size;
        std::vector<unsigned char> streamed;
        for (std::size_t i = 0; i < layer.writes.size(); ++i) {
            const auto& write = layer.writes[i];
            EXPECT_EQ(write.index, 2);
            if (i < 3) {
                EXPECT_EQ(write.address, kFpgaConfigurationReset);
                EXPECT_TRUE(write.data.empty());
            } else {
                EXPECT_EQ(write.address, kFpgaConfigurationData);
                EXPECT_EQ(write.data.size(), pieces[i - 3]) << size;
                streamed.insert(streamed.end(), write.data.begin(), write.data.end());
            }
        }
        std::ifstream file(path, std::ios::binary);
        const std::vector<unsigned char> contents((std::istreambuf_iterator<char>(file)), {});
        EXPECT_EQ(streamed, contents) << size;
    }
}

TEST_F(FpgaConfigurationTest, MissingFileSendsOnlyTheResetsAndReportsFailure) {
    EXPECT_EQ(LoadFpgaConfiguration(layer, "./no-such-configuration.bit"), 1);
    ASSERT_EQ(layer.writes.size(), 3u);
    for (const auto& write : layer.writes) EXPECT_EQ(write.address, kFpgaConfigurationReset);
}

}  // namespace
}  // namespace ZmCoreLib_v4
