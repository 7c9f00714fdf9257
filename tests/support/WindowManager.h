#pragma once

#include <X11/Xlib.h>

#include <sys/types.h>

namespace floodmark::fixtures {

// openbox managing an X server of the test's own: it gives windows the focus, so that real key
// presses (XTEST) reach them as a user's would. Stopped when the object goes.
class WindowManager {
public:
    // `display` is the test's connection to the server, used to see openbox take it over.
    explicit WindowManager(Display* display);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // Whether openbox took the screen over and manages the windows mapped from now on.
    bool running() const { return running_; }
    // Whether openbox lists `window` among the windows it manages.
    bool manages(::Window window) const;

private:
    Display* display_ = nullptr;
    pid_t pid_ = -1;
    bool running_ = false;
};

}  // namespace floodmark::fixtures
