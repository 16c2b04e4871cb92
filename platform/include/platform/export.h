// What the shared platform library shows its clients. Clients built with hidden visibility (the
// plugin, the camera library) reach only what is marked ZM_PLATFORM_API; so does everybody, as the
// library itself is built with hidden visibility.
#pragma once

#define ZM_PLATFORM_API __attribute__((visibility("default")))
