#pragma once

#include <X11/Xlib.h>

#include <sys/types.h>
#include <string>
#include <vector>

namespace floodmark::fixtures {

// A virtual X server (Xvfb) of the test's own, on the first free display, with a connection
// of the test's own to it. Stopped when the object goes.
class XServer {
public:
    explicit XServer(const std::string& screen = "1280x720x24",
                     const std::vector<std::string>& extraArguments = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool running() const { return display_ != nullptr; }
    // ":N", as DISPLAY wants it.
    const std::string& name() const { return name_; }
    Display* display() const { return display_; }
    pid_t pid() const { return pid_; }

    // A mapped top-level window, as a screen-saver host makes one for its hack.
    ::Window makeWindow(int width, int height);
    // Red, green, blue of a pixel of `window`, read back from the server.
    struct Rgb {
        int red = 0;
        int green = 0;
        int blue = 0;
    };
    Rgb pixel(::Window window, int x, int y) const;
    // The whole window, as the server holds it, in an ARGB32 image: 4 bytes a pixel.
    std::vector<unsigned char> capture(::Window window, int& width, int& height) const;

private:
    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
};

}  // namespace floodmark::fixtures
