#include "command.h"

namespace zmcam {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"list", "", "lists the cameras found: device index and name", listCameras},
    };
    return table;
}

}  // namespace zmcam
