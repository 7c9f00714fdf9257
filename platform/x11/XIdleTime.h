#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <optional>

namespace floodmark {

// Seconds since the last input the X server saw, from its screen-saver extension.
class XIdleTime {
public:
    XIdleTime(Display* display, ::Window root);
    ~XIdleTime();
    XIdleTime(const XIdleTime&) = delete;
    XIdleTime& operator=(const XIdleTime&) = delete;

    // Absent when the server has no screen-saver extension or the query fails.
    std::optional<double> seconds();

private:
    Display* display_;
    ::Window root_;
    XScreenSaverInfo* info_ = nullptr;
};

}  // namespace floodmark
