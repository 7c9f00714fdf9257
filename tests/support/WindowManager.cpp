#include "support/WindowManager.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

namespace floodmark::fixtures {

WindowManager::WindowManager(Display* display) {
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
    // A window manager announces itself by owning WM_Sn of the screen it manages; openbox
    // redirects the root's windows to itself before it names its check window, and windows
    // mapped in between would stay unmanaged, without focus.
    Atom selection =
        XInternAtom(display, ("WM_S" + std::to_string(DefaultScreen(display))).c_str(), False);
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    auto announced = [&] {
        if (XGetSelectionOwner(display, selection) == None) {
            return false;
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                           &type, &format, &count, &after, &data);
        XFree(data);
        return count == 1;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!running_ && std::chrono::steady_clock::now() < deadline) {
        running_ = announced();
        if (!running_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

WindowManager::~WindowManager() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace floodmark::fixtures
