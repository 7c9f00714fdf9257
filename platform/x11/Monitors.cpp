#include "platform/x11/Monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>

namespace floodmark {

namespace {

std::vector<MonitorArea> randrMonitors(Display* display, int screen) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    std::vector<MonitorArea> areas;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
        !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105) {
        return areas;
    }
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    for (int index = 0; index < count; ++index) {
        const XRRMonitorInfo& monitor = monitors[index];
        if (monitor.width > 0 && monitor.height > 0) {
            areas.push_back({monitor.x, monitor.y, monitor.width, monitor.height});
        }
    }
    if (monitors != nullptr) {
        XRRFreeMonitors(monitors);
    }
    return areas;
}

std::vector<MonitorArea> xineramaScreens(Display* display) {
    std::vector<MonitorArea> areas;
    int eventBase = 0;
    int errorBase = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) {
        return areas;
    }
    int count = 0;
    XineramaScreenInfo* screens = XineramaQueryScreens(display, &count);
    for (int index = 0; index < count; ++index) {
        if (screens[index].width > 0 && screens[index].height > 0) {
            areas.push_back({screens[index].x_org, screens[index].y_org, screens[index].width,
                             screens[index].height});
        }
    }
    if (screens != nullptr) {
        XFree(screens);
    }
    return areas;
}

}  // namespace

std::vector<MonitorArea> activeMonitors(Display* display, int screen) {
    if (auto areas = randrMonitors(display, screen); !areas.empty()) {
        return areas;
    }
    if (auto areas = xineramaScreens(display); !areas.empty()) {
        return areas;
    }
    return {{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)}};
}

bool dpmsMonitorsPowered(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    if (!DPMSQueryExtension(display, &eventBase, &errorBase) || !DPMSCapable(display)) {
        return true;
    }
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    return !DPMSInfo(display, &level, &enabled) || !enabled || level == DPMSModeOn;
}

}  // namespace floodmark
