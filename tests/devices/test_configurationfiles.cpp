// A camera whose FPGA configuration file is missing or cannot be used. It is still brought up as
// the protocol says (the configuration resets go out); the user is told which file failed and what
// to do, and the camera refuses to open, so that no client waits for frames that never come.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "simulatedcameras.h"

namespace ZmCoreLib_v4::testing_support {
namespace {

namespace fs = std::filesystem;

// This camera loads "./zmu2120.bit"; the build puts the stand-in files in the tests' folder.
constexpr char kCamera[] = "pid=0x2121,serial=7";
constexpr char kFile[] = "zmu2120.bit";
constexpr char kOtherModelsFile[] = "zmu2124.bit";
constexpr unsigned kConfigurationRequest = 0xE1;
constexpr unsigned kConfigurationReset = 0x05;

std::vector<char> contentsOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void write(const fs::path& path, const std::vector<char>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct FileCase {
    const char* name;
    // Puts what stands at the camera's file name, given the folder of the intact stand-ins.
    std::function<void(const fs::path& file, const fs::path& standIns)> make;
    const char* reason;  // what the message says of the file; null: intact, nothing is said
};

void PrintTo(const FileCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ConfigurationFileTest : public SimulatedCameras, public ::testing::WithParamInterface<FileCase> {
protected:
    void SetUp() override {
        SimulatedCameras::SetUp();
        standIns_ = fs::current_path();
        folder_ = fs::path(::testing::TempDir()) / ("zm-configuration-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::current_path(standIns_);
        SimulatedCameras::TearDown();
        fs::remove_all(folder_);
    }

    int configurationResets() {
        int resets = 0;
        for (const simulator::LoggedRequest& entry : camera().log().snapshot()) {
            resets += entry.kind == simulator::LoggedRequest::Kind::Control && !entry.setup.isIn() &&
                      entry.setup.request == kConfigurationRequest &&
                      entry.setup.value == kConfigurationReset;
        }
        return resets;
    }

    fs::path standIns_;
    fs::path folder_;
};

TEST_P(ConfigurationFileTest, IsReportedAndTheCameraRefusesToOpen) {
    attach(kCamera);  // discovery needs no configuration file for this camera
    ASSERT_TRUE(messages_.empty()) << messages_.front();
    GetParam().make(folder_ / kFile, standIns_);
    fs::current_path(folder_);
    camera().log().clear();

    auto creating = std::async(std::launch::async, [this] { return createDevice(); });
    const bool blocked = creating.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    if (blocked) {
        // Lets a bring-up stuck in opening the FIFO go on, so that the test ends.
        const int writer = ::open((folder_ / kFile).c_str(), O_WRONLY);
        if (writer >= 0) ::close(writer);
    }
    Device* device = creating.get();
    EXPECT_FALSE(blocked) << "the bring-up waited for a writer of the FIFO";
    ASSERT_NE(device, nullptr) << "the camera is built all the same";
    EXPECT_EQ(configurationResets(), 3);

    if (GetParam().reason == nullptr) {
        EXPECT_TRUE(messages_.empty()) << messages_.front();
        EXPECT_NE(device->Open(), nullptr);
        device->Close();
        return;
    }
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(kFile), std::string::npos) << messages_[0];
    EXPECT_NE(messages_[0].find(GetParam().reason), std::string::npos) << messages_[0];
    EXPECT_EQ(device->Open(), nullptr) << "a camera that cannot deliver frames was opened";
    EXPECT_EQ(device->GetFrameBuffer(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigurationFileTest,
    ::testing::Values(
        FileCase{
            "Intact",
            [](const fs::path& file, const fs::path& standIns) { fs::copy_file(standIns / kFile, file); },
            nullptr},
        FileCase{"Missing", [](const fs::path&, const fs::path&) {}, "No such file or directory"},
        FileCase{"Empty", [](const fs::path& file, const fs::path&) { write(file, {}); }, "is empty"},
        FileCase{"Truncated",
                 [](const fs::path& file, const fs::path& standIns) {
                     std::vector<char> bytes = contentsOf(standIns / kFile);
                     bytes.resize(bytes.size() / 2);
                     write(file, bytes);
                 },
                 "did not take"},
        FileCase{"AnotherModels",
                 [](const fs::path& file, const fs::path& standIns) {
                     fs::copy_file(standIns / kOtherModelsFile, file);
                 },
                 "did not take"},
        FileCase{"Fifo", [](const fs::path& file, const fs::path&) { ::mkfifo(file.c_str(), 0600); },
                 "is not a regular file"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace ZmCoreLib_v4::testing_support
