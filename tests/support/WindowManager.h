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

    // Whether openbox owns the screen's WM_S0 selection.
    bool running() const { return running_; }

private:
    pid_t pid_ = -1;
    bool running_ = false;
};

}  // namespace floodmark::fixtures
