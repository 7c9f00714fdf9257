#pragma once

#include <cstdlib>

namespace floodmark {

// An empty WAYLAND_SOCKET means unset, as for every other variable; libwayland would take it
// for descriptor 0. Call before wl_display_connect.
inline void forgetEmptyWaylandSocket() {
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if (socket != nullptr && *socket == '\0') {
        unsetenv("WAYLAND_SOCKET");
    }
}

}  // namespace floodmark
