#pragma once

#include <X11/Xlib.h>

#include <vector>

namespace floodmark {

// A monitor's place on the X screen, in pixels.
struct MonitorArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const MonitorArea&) const = default;
};

// The active monitors of the screen: RandR 1.5's monitors (which include virtual ones), else
// Xinerama's screens, else the whole screen as one.
std::vector<MonitorArea> activeMonitors(Display* display, int screen);

// False while DPMS has the monitors in standby, suspend or off; true on a server without it.
bool dpmsMonitorsPowered(Display* display);

}  // namespace floodmark
