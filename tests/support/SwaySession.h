#pragma once

#include "support/TempDirectory.h"

#include <sys/types.h>
#include <string>

namespace floodmark::fixtures {

// A headless sway of the test's own (one output, no input devices, software rendering). sway
// refuses root, so under root it runs as nobody in a runtime directory nobody owns. Stopped
// when the object goes.
class SwaySession {
public:
    SwaySession();
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    bool running() const { return !display_.empty(); }
    const std::string& runtimeDirectory() const { return runtime_.path(); }
    // The socket's name in the runtime directory, as WAYLAND_DISPLAY wants it.
    const std::string& display() const { return display_; }
    // Real pointer motion on seat0, as `swaymsg seat seat0 cursor move` makes it.
    bool moveCursor(int dx, int dy) const;
    // Stops the compositor now.
    void stop();

private:
    TempDirectory runtime_;
    pid_t pid_ = -1;
    std::string display_;
    std::string ipcSocket_;
};

}  // namespace floodmark::fixtures
