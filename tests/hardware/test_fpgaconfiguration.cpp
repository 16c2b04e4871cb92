// Streaming an FPGA configuration file to the configuration registers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <vector>

#include "hardware/hwlayer.h"
#include "hardware/registers/configuration.h"

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
        {300, {128, 128, 44}}, {256, {128, 128}}, {1, {1}}};
    for (const auto& [size, pieces] : cases) {
        layer.writes.clear();
        const std::string path = writeFile(size);
        EXPECT_EQ(loadFpgaConfiguration(layer, path, 2), 0);
        ASSERT_EQ(layer.writes.size(), 3 + pieces.size()) << size;
        std::vector<unsigned char> streamed;
        for (std::size_t i = 0; i < layer.writes.size(); ++i) {
            const auto& write = layer.writes[i];
            EXPECT_EQ(write.index, 2);
            if (i < 3) {
                EXPECT_EQ(write.address, registers::kConfigurationReset);
                EXPECT_TRUE(write.data.empty());
            } else {
                EXPECT_EQ(write.address, registers::kConfigurationData);
                EXPECT_EQ(write.data.size(), pieces[i - 3]) << size;
                streamed.insert(streamed.end(), write.data.begin(), write.data.end());
            }
        }
        std::ifstream file(path, std::ios::binary);
        const std::vector<unsigned char> contents((std::istreambuf_iterator<char>(file)), {});
        EXPECT_EQ(streamed, contents) << size;
    }
}

// Only a regular file with something in it is streamed. Anything else gets the three resets and
// nothing more, at once: a FIFO in the file's place must not keep the caller waiting for a writer.
struct UnusableCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;  // puts the unusable thing at the path
    const char* problem;                                     // what the load says of it
};

void PrintTo(const UnusableCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class UnusableConfigurationTest : public FpgaConfigurationTest,
                                  public ::testing::WithParamInterface<UnusableCase> {};

TEST_P(UnusableConfigurationTest, OnlyTheResetsGoOutAndFailureIsReportedAtOnce) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("zm-fpga-" + std::to_string(::getpid()) + "-" + GetParam().name + ".bit");
    GetParam().make(path);
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove(path); }
    } remove{path};

    std::string problem;
    auto loading = std::async(std::launch::async,
                              [&] { return loadFpgaConfiguration(layer, path.string(), 0, &problem); });
    const bool blocked = loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    if (blocked) {
        // Lets a load stuck in opening the FIFO go on, so that the test ends.
        const int writer = ::open(path.c_str(), O_WRONLY);
        if (writer >= 0) ::close(writer);
    }
    const int result = loading.get();
    EXPECT_FALSE(blocked) << "the load waited for a writer of the FIFO";
    EXPECT_EQ(result, 1);
    EXPECT_EQ(problem, GetParam().problem);
    ASSERT_EQ(layer.writes.size(), 3u);
    for (const auto& write : layer.writes) EXPECT_EQ(write.address, registers::kConfigurationReset);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableConfigurationTest,
    ::testing::Values(
        UnusableCase{"Missing", [](const std::filesystem::path&) {},
                     "cannot be opened: No such file or directory"},
        UnusableCase{"Empty", [](const std::filesystem::path& path) { std::ofstream{path}; }, "is empty"},
        UnusableCase{"Fifo", [](const std::filesystem::path& path) { ::mkfifo(path.c_str(), 0600); },
                     "is not a regular file"},
        UnusableCase{"Folder",
                     [](const std::filesystem::path& path) { std::filesystem::create_directory(path); },
                     "is not a regular file"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace ZmCoreLib_v4
