// The camera library's entry points (C linkage) and its interfaces.
//
// A client loads libzmcorelib_v4.so at run time, resolves GetEnvironment and from then on uses
// only the interfaces. InitDevice and GrabFrame are a minimal C entry to the first camera.
#pragma once

#ifdef __cplusplus
#include "zmcorelib/device.h"
#include "zmcorelib/exceptions.h"
#include "zmcorelib/framebuffer.h"
#include "zmcorelib/ids.h"
#include "zmcorelib/pair.h"
#include "zmcorelib/setting.h"
#endif

#ifdef __cplusplus
extern "C" {
// The process's one environment, built (and discovery run on the caller's thread) on first use.
// The first call must not race with another first call.
__attribute__((visibility("default"))) ZmCoreLib::IEnvironment* GetEnvironment();
#endif

// Opens and starts the first listed camera; *status is 0 on success, -1 otherwise (the reason
// is shown in a message box captioned "Zmcorelib Error").
__attribute__((visibility("default"))) void InitDevice(int* status);

// The next finished frame of that camera, valid until the next call; *status -1 when none is
// waiting (no message) or InitDevice has not succeeded (message). data, width, height may be null.
__attribute__((visibility("default"))) void GrabFrame(void** data, int* width, int* height, int* status);

#ifdef __cplusplus
}
typedef ZmCoreLib::IEnvironment* (*GetEnvironmentFunction)();
#endif
typedef void (*InitDeviceFunction)(int* status);
typedef void (*GrabFrameFunction)(void** data, int* width, int* height, int* status);
