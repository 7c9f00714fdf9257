// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WindowManager.h"
#include "support/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <functional>

namespace floodmark {
namespace {

using fixtures::RunningFloodmark;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WindowManager;
using fixtures::XServer;

bool isFloodmark(Display* display, ::Window window) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) {
        return false;
    }
    bool named = std::string(hint.res_name) == "floodmark";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return named;
}

bool hasFocus(Display* display, ::Window window) {
    ::Window focused = 0;
    int revert = 0;
    XGetInputFocus(display, &focused, &revert);
    return focused == window;
}

// The saver's own window, as the window manager lists its clients.
::Window floodmarkWindow(Display* display) {
    Atom clients = XInternAtom(display, "_NET_CLIENT_LIST", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    ::Window found = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display), clients, 0, 64, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        auto* windows = reinterpret_cast<::Window*>(data);
        for (unsigned long index = 0; index < count && found == 0; ++index) {
            found = isFloodmark(display, windows[index]) ? windows[index] : 0;
        }
    }
    XFree(data);
    return found;
}

struct WindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const WindowSize&) const = default;
};

WindowSize sizeOf(Display* display, ::Window window) {
    XWindowAttributes attributes{};
    XSync(display, False);
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return {};
    }
    return {attributes.width, attributes.height};
}

// A key pressed through XTEST, reaching the window openbox gave the focus, as a user's would.
void press(const XServer& server, const char* key) {
    std::string command = "DISPLAY=" + server.name() + " xdotool key " + key;
    ASSERT_EQ(std::system(command.c_str()), 0) << key;
}

// What a title bar's close button or a task bar asks of the window manager, which then asks
// the window to close (WM_DELETE_WINDOW).
void askToClose(Display* display, ::Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = 2;  // from a pager or task bar: a user's direct request
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

struct OwnWindow {
    TempDirectory home;
    RunningFloodmark saver;
    ::Window window = 0;

    OwnWindow(const XServer& server, const std::vector<std::string>& arguments)
        : saver(arguments, home.path(), {"DISPLAY=" + server.name()}) {}
};

::Window awaitWindow(const XServer& server) {
    ::Window window = 0;
    EXPECT_TRUE(waitUntil([&] { return (window = floodmarkWindow(server.display())) != 0; },
                          std::chrono::seconds(60)));
    return window;
}

// A window mapped the moment the fixture says openbox runs is managed like any later one.
TEST(WindowManager, ManagesAWindowMappedTheMomentItRuns) {
    XServer server("640x480x24");
    ASSERT_TRUE(server.running());
    WindowManager openbox(server.display());
    ASSERT_TRUE(openbox.running());
    ::Window window = server.makeWindow(64, 48);
    EXPECT_TRUE(waitUntil([&] { return openbox.manages(window); }, std::chrono::seconds(60)));
}

TEST(OwnWindow, EscapeQOrTheCloseButtonEndItAndOtherKeysDoNot) {
    XServer server("1280x720x24");
    ASSERT_TRUE(server.running());
    WindowManager openbox(server.display());
    ASSERT_TRUE(openbox.running());
    struct Case {
        const char* name;
        std::function<void(::Window)> act;
    };
    const Case cases[] = {
        {"Escape", [&](::Window) { press(server, "Escape"); }},
        {"q", [&](::Window) { press(server, "a space q"); }},
        {"close button", [&](::Window window) { askToClose(server.display(), window); }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        OwnWindow own(server, {"--window", "--x11", "--geometry", "480x270"});
        ::Window window = awaitWindow(server);
        ASSERT_NE(window, 0u);
        EXPECT_TRUE(waitUntil([&] {
            return sizeOf(server.display(), window) == WindowSize{480, 270};
        }));
        // The focus lands once openbox has mapped it; only then do keys reach it.
        ASSERT_TRUE(waitUntil([&] { return hasFocus(server.display(), window); }));
        press(server, "a");
        EXPECT_FALSE(own.saver.waitForExit(0.5)) << "a key that is not Escape or q ended it";
        test.act(window);
        EXPECT_EQ(own.saver.waitForExit(60), 0);
    }
}

TEST(OwnWindow, F11FillsTheScreenAndGivesItBack) {
    XServer server("1280x720x24");
    ASSERT_TRUE(server.running());
    WindowManager openbox(server.display());
    ASSERT_TRUE(openbox.running());
    OwnWindow own(server, {"--window", "--x11", "--geometry", "480x270"});
    ::Window window = awaitWindow(server);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(waitUntil([&] { return sizeOf(server.display(), window).width == 480; }));
    ASSERT_TRUE(waitUntil([&] { return hasFocus(server.display(), window); }));
    press(server, "F11");
    EXPECT_TRUE(waitUntil([&] {
        return sizeOf(server.display(), window) == WindowSize{1280, 720};
    }));
    press(server, "F11");
    EXPECT_TRUE(waitUntil([&] {
        return sizeOf(server.display(), window) == WindowSize{480, 270};
    }));
    press(server, "Escape");
    EXPECT_EQ(own.saver.waitForExit(60), 0);
}

// A desktop that sets Xft.dpi to 192 asks for twice the pixels: the window of 480×270 points is
// 960×540 pixels.
TEST(OwnWindow, XftDpiScalesTheWindow) {
    XServer server("1920x1080x24");
    ASSERT_TRUE(server.running());
    const std::pair<const char*, WindowSize> cases[] = {
        {"Xft.dpi: 192", {960, 540}},
        {"Xft.dpi: 144", {720, 405}},
        {"Xft.dpi: nonsense", {480, 270}},
    };
    for (const auto& [resource, size] : cases) {
        SCOPED_TRACE(resource);
        std::string command =
            "echo '" + std::string(resource) + "' | DISPLAY=" + server.name() + " xrdb -override -";
        ASSERT_EQ(std::system(command.c_str()), 0);
        OwnWindow own(server, {"--window", "--x11", "--geometry", "480x270"});
        ::Window window = 0;
        // No window manager here: the saver's own window is a child of the root.
        ASSERT_TRUE(waitUntil([&] {
            ::Window root = 0;
            ::Window parent = 0;
            ::Window* children = nullptr;
            unsigned count = 0;
            XQueryTree(server.display(), DefaultRootWindow(server.display()), &root, &parent,
                       &children, &count);
            for (unsigned index = 0; index < count; ++index) {
                window = isFloodmark(server.display(), children[index]) ? children[index] : window;
            }
            XFree(children);
            // Named before it is mapped: its pixels can be read only once it is viewable.
            XWindowAttributes attributes{};
            return window != 0 && XGetWindowAttributes(server.display(), window, &attributes) &&
                   attributes.map_state == IsViewable;
        }));
        EXPECT_EQ(sizeOf(server.display(), window), size);
        // Drawn, so running its loop: SIGTERM is the saver's to handle.
        EXPECT_TRUE(waitUntil([&] { return server.pixel(window, 2, 2).blue > 10; }));
        EXPECT_EQ(own.saver.stop(SIGTERM), 0);
    }
}

}  // namespace
}  // namespace floodmark
