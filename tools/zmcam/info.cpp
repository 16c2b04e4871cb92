// zmcam info INDEX: every setting of the camera, one per line.
#include "camera.h"

namespace zmcam {

int showInfo(CommandContext& context) {
    if (context.arguments.size() != 1) {
        std::fprintf(context.err, "usage: zmcam info INDEX\n");
        return kExitUsage;
    }
    ZmCoreLib::IDevice* camera = openCamera(context, context.arguments[0]);
    if (camera == nullptr) return kExitFailure;
    ZmCoreLib::ISettingIterator* settings = camera->GetSettings();
    for (settings->First(); !settings->IsDone(); settings->Next()) {
        std::fprintf(context.out, "%s\n", describeSetting(*settings->Current()).c_str());
    }
    settings->Release();
    return kExitOk;
}

}  // namespace zmcam
