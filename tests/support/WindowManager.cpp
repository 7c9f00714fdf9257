#include "support/WindowManager.h"

#include "support/WaitUntil.h"

#include <X11/Xatom.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

namespace floodmark::fixtures {

namespace {

constexpr std::chrono::seconds startLimit{60};

// A window manager announces itself by owning WM_Sn of the screen it manages and naming its
// check window on the root; openbox redirects the root's windows to itself before either.
bool announced(Display* display) {
    Atom selection =
        XInternAtom(display, ("WM_S" + std::to_string(DefaultScreen(display))).c_str(), False);
    if (XGetSelectionOwner(display, selection) == None) {
        return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display),
                       XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                       AnyPropertyType, &type, &format, &count, &after, &data);
    XFree(data);
    return count == 1;
}

}  // namespace

WindowManager::WindowManager(Display* display) : display_(display) {
    if (display == nullptr) {
        return;
    }
    std::string name = DisplayString(display);
    pid_ = fork();
    if (pid_ == 0) {
        int quiet = ::open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        setenv("DISPLAY", name.c_str(), 1);
        execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (!waitUntil([&] { return announced(display); }, startLimit)) {
        return;
    }
    // Announced is not yet managing: openbox reads the map requests that come while it starts
    // into a queue of its own, then sleeps until the server sends it something new, so such a
    // window stays unmanaged until some other event wakes it. A probe window that openbox
    // manages shows it is past that; a root property written meanwhile is the waking event.
    ::Window root = DefaultRootWindow(display);
    ::Window probe = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XMapWindow(display, probe);
    Atom wake = XInternAtom(display, "FLOODMARK_TEST_WAKE", False);
    long nothing = 0;
    bool probed = waitUntil(
        [&] {
            XChangeProperty(display, root, wake, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&nothing), 1);
            return manages(probe);
        },
        startLimit);
    XDeleteProperty(display, root, wake);
    XDestroyWindow(display, probe);
    running_ = probed && waitUntil([&] { return !manages(probe); }, startLimit);
}

WindowManager::~WindowManager() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool WindowManager::manages(::Window window) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    bool listed = false;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_),
                           XInternAtom(display_, "_NET_CLIENT_LIST", False), 0, 1024, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        auto* windows = reinterpret_cast<::Window*>(data);
        for (unsigned long index = 0; index < count && !listed; ++index) {
            listed = windows[index] == window;
        }
    }
    XFree(data);
    return listed;
}

}  // namespace floodmark::fixtures
