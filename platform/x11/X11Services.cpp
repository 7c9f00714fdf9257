#include "platform/x11/X11Services.h"

#include "platform/kit/Time.h"
#include "platform/system/SessionLock.h"

#include <X11/Xresource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace floodmark {

X11Services::X11Services(XConnection& connection, PowerQuestion monitorsPowered)
    : connection_(connection),
      idleTime_(connection.display(), connection.root()),
      askPower_(std::move(monitorsPowered)),
      reduceMotion_(ReduceMotion::systemReaders()),
      gpu_(GpuDisplay::onX11(connection.display())) {}

double X11Services::now() {
    return currentTime();
}

double X11Services::secondsSinceLastInput() {
    return idleTime_.seconds().value_or(std::numeric_limits<double>::infinity());
}

bool X11Services::reduceMotion() {
    return reduceMotion_.value(currentTime());
}

bool X11Services::readScreenLocked() {
    return readSessionLocked();
}

bool X11Services::monitorsPowered() {
    double now = currentTime();
    if (powerReadAt_ && now - *powerReadAt_ >= 0 && now - *powerReadAt_ < powerPollInterval) {
        return powered_;
    }
    powerReadAt_ = now;
    powered_ = askPower_(connection_.display());
    return powered_;
}

std::optional<double> X11Services::scaleFromResources(Display* display) {
    const char* resources = XResourceManagerString(display);
    if (resources == nullptr) {
        return std::nullopt;
    }
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (database == nullptr) {
        return std::nullopt;
    }
    std::optional<double> scale;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
        char* end = nullptr;
        double dpi = std::strtod(value.addr, &end);
        if (end != value.addr && std::isfinite(dpi) && dpi > 0) {
            scale = std::clamp(std::round(dpi / 96 * 4) / 4, 1.0, maxScale);
        }
    }
    XrmDestroyDatabase(database);
    return scale;
}

}  // namespace floodmark
