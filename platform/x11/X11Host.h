#pragma once

#include "platform/kit/MainLoop.h"
#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/View.h"
#include "platform/kit/ViewTicker.h"
#include "platform/x11/Monitors.h"
#include "platform/x11/PicturePresenter.h"
#include "platform/x11/X11Services.h"
#include "platform/x11/XConnection.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// The host on an X display: one view per X window, each ticked at its own interval on the main
// loop; after a tick, a window whose views asked to be redrawn is composed and put on the
// screen. The window may be the screen-saver host's (XScreenSaver, xsecurelock, xfce4- and
// mate-screensaver), the root window, one of our own per monitor, or one top-level window.
class X11Host {
public:
    using ViewFactory = ViewTicker::ViewFactory;

    // The monitors to cover, in the screen's pixels.
    using MonitorList = std::function<std::vector<MonitorArea>(Display*, int screen)>;

    struct Settings {
        std::string display;          // empty: $DISPLAY
        std::optional<double> scale;  // pixels a point; absent: Xft.dpi / 96, else 1
        bool sharedMemory = true;     // put pictures through MIT-SHM where the server has it
        MonitorList monitors = activeMonitors;
        // While it says no, the views neither tick nor draw.
        X11Services::PowerQuestion monitorsPowered = dpmsMonitorsPowered;
        bool onlyChanges = true;  // false: whole pictures every time, for measurements
    };

    // Null, with the reason in `error`, when the display cannot be opened.
    static std::unique_ptr<X11Host> open(Settings settings, ViewFactory makeView,
                                         std::string& error);
    ~X11Host();
    X11Host(const X11Host&) = delete;
    X11Host& operator=(const X11Host&) = delete;

    // Draws into a window another program made. False, with the reason, when there is none.
    bool attach(unsigned long window, bool preview, std::string& error);
    void attachRoot();
    // A resizable top-level window titled "Floodmark"; Escape, q or closing it ends the host.
    void openOwnWindow(Size points);
    // One borderless window per monitor, following monitors that come and go; Escape ends it.
    void coverMonitors();

    // Starts the views and runs until stop(), SIGINT, SIGTERM or SIGHUP, or the loss of a
    // window another program gave; then stops every view. The process's exit status.
    int run();
    void stop(int status = 0) { ticker_.stop(status); }

    // Handles what the server has sent: exposures, resizes, keys, monitor changes.
    void processEvents();
    // Covers the monitors as they are now: a view for each new one, none for one that went.
    void followMonitors();

    double scale() const { return scale_; }
    std::size_t viewCount() const { return ticker_.count(); }
    ScreenSaverView& view(std::size_t index) { return *ticker_.at(index).view; }
    const ViewStats& stats(std::size_t index) const { return ticker_.at(index).stats; }
    unsigned long windowId(std::size_t index) const { return surfaceAt(index).xWindow; }
    bool sharesMemory(std::size_t index) const;
    XConnection& connection() { return *connection_; }

private:
    // One X window of ours or another program's, with its view.
    struct Surface final : ViewSurface {
        Surface(X11Host& host, ::Window xWindow, bool foreign);
        double drawDelay(double now) override;
        void present(TickedView& ticked, double tickStart) override;
        // Puts the last picture again: the server lost the window's pixels.
        void repaint(TickedView& ticked);

        X11Host& host;
        ::Window xWindow;
        bool foreign;  // another program made it; it going ends the host
        std::optional<MonitorArea> monitor;
        PicturePresenter presenter;
    };

    X11Host(Settings settings, ViewFactory makeView, std::unique_ptr<XConnection> connection);

    Surface& addSurface(::Window xWindow, bool foreign, bool preview);
    void removeSurface(std::size_t index);
    const Surface& surfaceAt(std::size_t index) const;
    ::Window createWindow(const MonitorArea& area, bool overrideRedirect);
    Size pointsOf(int width, int height) const;
    Surface* surfaceOf(::Window xWindow);

    void handle(XEvent& event);
    void handleKey(XKeyEvent& event);
    void toggleFullScreen(::Window xWindow);

    Settings settings_;
    std::unique_ptr<XConnection> connection_;
    std::shared_ptr<X11Services> services_;
    std::unique_ptr<TickClock> clock_ = TickClock::steady();
    ViewTicker ticker_;
    double scale_ = 1;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::unique_ptr<MainLoop::Watch> serverWatch_;
    bool coveringMonitors_ = false;
    bool ownWindow_ = false;
    int randrEventBase_ = -1;
    Cursor blankCursor_ = 0;
};

}  // namespace floodmark
