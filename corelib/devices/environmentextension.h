// The library's side of GetEnvironmentEx: the environment extension, which finds the extension
// of every camera object the library made, however it was made.
#pragma once

#include "zmcorelib/deviceextensions.h"

namespace ZmCoreLib_v4 {

// The process's one extension; stateless, so it exists before discovery and after it.
ZmCoreLib::IEnvironmentEx& environmentExtension();

}  // namespace ZmCoreLib_v4
