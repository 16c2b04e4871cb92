#include "command.h"

namespace zmcam {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"list", "", "lists the cameras found: device index and name", listCameras},
        {"info", "INDEX", "shows every setting of a camera", showInfo},
        {"set", "INDEX SETTING VALUE [UNIT]", "shows what a camera makes of a setting's value", setSetting},
        {"grab", "INDEX -n COUNT -o FOLDER [-s SETTING=VALUE]...", "writes frames as 16-bit PGM files",
         grabFrames},
    };
    return table;
}

}  // namespace zmcam
