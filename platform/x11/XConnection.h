#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace floodmark {

// One connection to an X server, with the errors the server reports collected instead of
// ending the process, as Xlib's default handler would. Main thread only.
class XConnection {
public:
    // Null when the display cannot be opened (no server, no DISPLAY).
    static std::unique_ptr<XConnection> open(const std::string& name);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    Display* display() const { return display_; }
    int screen() const { return DefaultScreen(display_); }
    ::Window root() const { return RootWindow(display_, screen()); }
    int descriptor() const { return ConnectionNumber(display_); }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

    // The resources (windows, drawables) that requests failed on since the last call.
    std::vector<XID> takeFailedResources();
    // Runs `requests`, waits for the server, and tells whether any of them failed.
    bool succeeds(const std::function<void()>& requests);

    // Called when the connection is lost, before the process ends: Xlib allows nothing else.
    static void onConnectionLost(std::function<void()> handler);

private:
    explicit XConnection(Display* display);

    Display* display_;
};

}  // namespace floodmark
