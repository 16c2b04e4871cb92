// zmcam grab INDEX -n COUNT -o FOLDER [-s SETTING=VALUE]...: COUNT frames of the camera as
// 16-bit PGM files (P5, maxval 65535, samples most significant byte first), after setting the
// settings given with -s (a number may carry its unit: "0x3002=200мс"). An existing frame file
// is never overwritten: the command stops at it.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "camera.h"
#include "platform/error.h"
#include "platform/newfile.h"
#include "zmcorelib/ids.h"

namespace zmcam {

namespace {

// Waiting for a frame: the camera settles 400 ms at start, then delivers one per frame period;
// twice the period in force and a margin pass before grab gives up.
constexpr std::chrono::milliseconds kFrameWaitMargin{5000};

// Wakes the waiting command when the camera commits a frame. Called on the camera's repack
// thread; only signals.
class FrameSignal final : public ZmCoreLib::IFrameBufferObserver {
public:
    void OnFrameReady(int) override {
        std::lock_guard lock(mutex_);
        ++frames_;
        ready_.notify_all();
    }
    // Waits until a frame was committed since the last call, at most `limit`.
    bool wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        const bool committed = ready_.wait_for(lock, limit, [this] { return frames_ > 0; });
        frames_ = 0;
        return committed;
    }

private:
    std::mutex mutex_;  // guards frames_
    std::condition_variable ready_;
    int frames_ = 0;
};

// The frame period the camera runs at now (after the -s settings), read in milliseconds.
std::chrono::milliseconds framePeriodInForce(ZmCoreLib::IDevice& camera) {
    ZmCoreLib::ISetting* setting = camera.FindSetting(ZmCoreLib::ids::kFramePeriod);
    ZmCoreLib::ISettingScalar* period = setting != nullptr ? setting->GetScalar() : nullptr;
    if (period == nullptr) return std::chrono::milliseconds(0);
    const int shownUnit = period->GetUnit();
    period->SetUnit(ZmCoreLib::kUnitMillisecond);
    const std::chrono::milliseconds value(period->GetValue());
    period->SetUnit(shownUnit);
    return value;
}

struct GrabOptions {
    std::string index;
    int count = 0;
    std::string folder;
    std::vector<std::string> settings;  // SETTING=VALUE
};

std::optional<GrabOptions> parseOptions(CommandContext& context) {
    GrabOptions options;
    const std::vector<std::string>& arguments = context.arguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "-n" && hasValue) {
            const std::optional<long long> count = parseNumber(arguments[++i]);
            if (!count || *count < 1 || *count > 1000000) {
                std::fprintf(context.err, "zmcam grab: -n takes a frame count from 1 up, not '%s'\n",
                             arguments[i].c_str());
                return std::nullopt;
            }
            options.count = static_cast<int>(*count);
        } else if (argument == "-o" && hasValue) {
            options.folder = arguments[++i];
        } else if (argument == "-s" && hasValue) {
            options.settings.push_back(arguments[++i]);
        } else if (argument[0] != '-' && options.index.empty()) {
            options.index = argument;
        } else {
            std::fprintf(context.err, "zmcam grab: unexpected argument '%s'\n", argument.c_str());
            return std::nullopt;
        }
    }
    if (options.index.empty() || options.count == 0 || options.folder.empty()) {
        std::fprintf(context.err, "usage: zmcam grab INDEX -n COUNT -o FOLDER [-s SETTING=VALUE]...\n");
        return std::nullopt;
    }
    return options;
}

// SETTING=VALUE, a number possibly followed by its unit.
bool applyAssignment(CommandContext& context, ZmCoreLib::IDevice& camera, const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        std::fprintf(context.err, "zmcam grab: -s takes SETTING=VALUE, not '%s'\n", assignment.c_str());
        return false;
    }
    ZmCoreLib::ISetting* setting = findSetting(context, camera, assignment.substr(0, equals));
    if (setting == nullptr) return false;
    std::string value = assignment.substr(equals + 1);
    std::string unit;
    if (setting->GetScalar() != nullptr && !parseNumber(value)) {
        std::size_t digits = value.find_first_not_of("+-0123456789");
        unit = value.substr(digits == std::string::npos ? value.size() : digits);
        value.resize(value.size() - unit.size());
        unit.erase(0, unit.find_first_not_of(' '));
    }
    return applySetting(context, *setting, value, unit);
}

bool writePgm(const std::filesystem::path& path, ZmCoreLib::IFrame& frame, std::string& error) {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    frame.GetFormat(&width, &height, &bitsPerPixel);
    const auto* pixels = static_cast<const std::uint16_t*>(frame.GetData());
    if (pixels == nullptr || width <= 0 || height <= 0) {
        error = "the frame holds no picture";
        return false;
    }
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t k = 0; k < samples.size() / 2; ++k) {
        samples[2 * k] = static_cast<std::uint8_t>(pixels[k] >> 8);
        samples[2 * k + 1] = static_cast<std::uint8_t>(pixels[k]);
    }
    char header[64];
    const int headerBytes = std::snprintf(header, sizeof header, "P5\n%d %d\n65535\n", width, height);
    // The file appears only complete and never in place of an earlier one.
    platform::NewFile file;
    if (!file.create(path.string()) || !file.write(header, static_cast<std::size_t>(headerBytes)) ||
        !file.write(samples.data(), samples.size()) || !file.publish()) {
        error = platform::errorText(platform::lastError());
        if (!error.empty() && error.back() == '\n') error.pop_back();
        if (platform::lastError() == EEXIST)
            error += "; frames are never overwritten: give another folder with -o";
        return false;
    }
    return true;
}

}  // namespace

int grabFrames(CommandContext& context) {
    const std::optional<GrabOptions> options = parseOptions(context);
    if (!options) return kExitUsage;
    std::error_code madeFolder;
    std::filesystem::create_directories(options->folder, madeFolder);
    if (madeFolder) {
        std::fprintf(context.err, "zmcam grab: cannot make the folder %s: %s\n", options->folder.c_str(),
                     madeFolder.message().c_str());
        return kExitFailure;
    }
    ZmCoreLib::IDevice* camera = openCamera(context, options->index);
    if (camera == nullptr) return kExitFailure;
    for (const std::string& assignment : options->settings) {
        if (!applyAssignment(context, *camera, assignment)) return kExitFailure;
    }
    const std::chrono::milliseconds frameWait = kFrameWaitMargin + 2 * framePeriodInForce(*camera);

    ZmCoreLib::IFrameBuffer* frames = camera->Open();
    if (frames == nullptr) {
        std::fprintf(context.err, "zmcam grab: the camera cannot be opened\n");
        return kExitFailure;
    }
    FrameSignal signal;
    frames->AddObserver(&signal);
    camera->Start();
    int status = kExitOk;
    for (int taken = 0; taken < options->count && status == kExitOk;) {
        ZmCoreLib::IFrame* frame = frames->GetFrame();
        if (frame == nullptr) {
            if (!signal.wait(frameWait)) {
                std::fprintf(context.err, "zmcam grab: no frame came within %lld s\n",
                             static_cast<long long>(frameWait.count() / 1000));
                status = kExitFailure;
            }
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame_%04d.pgm", ++taken);
        const std::filesystem::path path = std::filesystem::path(options->folder) / name;
        std::string error;
        if (writePgm(path, *frame, error)) {
            std::fprintf(context.out, "%s\n", path.c_str());
        } else {
            std::fprintf(context.err, "zmcam grab: cannot write %s: %s\n", path.c_str(), error.c_str());
            status = kExitFailure;
        }
        frame->Release();
    }
    camera->Stop();
    frames->RemoveObserver(&signal);
    camera->Close();
    return status;
}

}  // namespace zmcam
