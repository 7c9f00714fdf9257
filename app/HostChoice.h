#pragma once

#include <optional>
#include <string>

namespace floodmark::app {

enum class HostKind { x11, wayland };

struct HostRequest {
    bool forceX11 = false;      // --x11
    bool forceWayland = false;  // --wayland
    bool hackProtocol = false;  // --root, --window-id or XSCREENSAVER_WINDOW: an X host's hack
};

// Which display the saver draws on: an X screen-saver host's hack always on X11; else as
// forced; else WAYLAND_SOCKET (swaylock-plugin) or WAYLAND_DISPLAY on Wayland, DISPLAY on X11.
// Absent, with the reason, when there is none to choose.
std::optional<HostKind> chooseHost(const HostRequest& request, std::string& error);

}  // namespace floodmark::app
