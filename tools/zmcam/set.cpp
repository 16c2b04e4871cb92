// zmcam set INDEX SETTING VALUE [UNIT]: what the camera makes of a value. Prints the setting as
// the camera took it (clamped to its range, placed on its grid) and every other setting that
// changed with it. The camera keeps the value as long as the program holds it, that is, for this
// command only.
#include <vector>

#include "camera.h"

namespace zmcam {

namespace {

std::vector<std::string> describeAll(ZmCoreLib::IDevice& camera) {
    std::vector<std::string> lines;
    ZmCoreLib::ISettingIterator* settings = camera.GetSettings();
    for (settings->First(); !settings->IsDone(); settings->Next()) {
        lines.push_back(describeSetting(*settings->Current()));
    }
    settings->Release();
    return lines;
}

}  // namespace

int setSetting(CommandContext& context) {
    const std::vector<std::string>& arguments = context.arguments;
    if (arguments.size() != 3 && arguments.size() != 4) {
        std::fprintf(context.err, "usage: zmcam set INDEX SETTING VALUE [UNIT]\n");
        return kExitUsage;
    }
    ZmCoreLib::IDevice* camera = openCamera(context, arguments[0]);
    if (camera == nullptr) return kExitFailure;
    ZmCoreLib::ISetting* setting = findSetting(context, *camera, arguments[1]);
    if (setting == nullptr) return kExitFailure;

    const std::vector<std::string> before = describeAll(*camera);
    if (!applySetting(context, *setting, arguments[2], arguments.size() == 4 ? arguments[3] : "")) {
        return kExitFailure;
    }
    const std::vector<std::string> after = describeAll(*camera);
    // The setting first, then whatever changed with it, in list order.
    const std::string changed = describeSetting(*setting);
    std::fprintf(context.out, "%s\n", changed.c_str());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if ((i >= before.size() || before[i] != after[i]) && after[i] != changed) {
            std::fprintf(context.out, "%s\n", after[i].c_str());
        }
    }
    return kExitOk;
}

}  // namespace zmcam
