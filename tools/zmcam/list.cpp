// zmcam list: one line per camera, "<device index>\t<name>".
#include "command.h"
#include "platform/text.h"

namespace zmcam {

int listCameras(CommandContext& context) {
    if (!context.arguments.empty()) {
        std::fprintf(context.err, "zmcam list takes no arguments\n");
        return kExitUsage;
    }
    ZmCoreLib::IPairIterator* cameras = context.environment.GetDeviceNames();
    if (cameras == nullptr) return kExitFailure;
    for (cameras->First(); !cameras->IsDone(); cameras->Next()) {
        ZmCoreLib::IPair* camera = cameras->Current();
        std::fprintf(context.out, "%d\t%s\n", camera->GetKey(), platform::toUtf8(camera->GetName()).c_str());
    }
    cameras->Release();
    return kExitOk;
}

}  // namespace zmcam
