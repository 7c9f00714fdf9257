#pragma once

#include <string>

namespace floodmark::bench {

// What one of XScreenSaver's hacks cost on the root window of an Xvfb server of its own.
struct HackCost {
    bool ran = false;
    std::string reason;  // why it did not run
    double cpuPercent = 0;
    double serverPercent = 0;
    double rssMegabytes = 0;
};

// Runs /usr/libexec/xscreensaver/`name` on a `width` × `height` screen for `settle` seconds,
// then measures `measured` seconds. The hacks refuse to run as root, so a root caller runs a
// copy that the unprivileged user can reach, as that user.
HackCost measureHack(const std::string& name, int width, int height, double settle,
                     double measured);

// CPU seconds (user and system) a process has used, from /proc.
double cpuSeconds(int pid);
// A line of /proc/PID/status in megabytes (VmRSS, VmHWM); "self" for this process.
double statusMegabytes(const std::string& pid, const std::string& key);

}  // namespace floodmark::bench
