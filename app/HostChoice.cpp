#include "app/HostChoice.h"

#include <cstdlib>

namespace floodmark::app {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::optional<HostKind> chooseHost(const HostRequest& request, std::string& error) {
    if (request.hackProtocol) {
        if (request.forceWayland) {
            error =
                "--wayland cannot draw into an X window (--root, --window-id, "
                "XSCREENSAVER_WINDOW)";
            return std::nullopt;
        }
        return HostKind::x11;
    }
    if (request.forceX11) {
        return HostKind::x11;
    }
    if (request.forceWayland || isSet("WAYLAND_SOCKET") || isSet("WAYLAND_DISPLAY")) {
        return HostKind::wayland;
    }
    if (isSet("DISPLAY")) {
        return HostKind::x11;
    }
    error = "no display to draw on: neither WAYLAND_DISPLAY nor DISPLAY is set";
    return std::nullopt;
}

}  // namespace floodmark::app
