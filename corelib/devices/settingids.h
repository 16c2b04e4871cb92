// The camera objects name the catalogue ids as clients do: ids::kFramePeriod and so on.
#pragma once

#include "zmcorelib/ids.h"

namespace ZmCoreLib_v4 {
namespace ids = ZmCoreLib::ids;
}  // namespace ZmCoreLib_v4
