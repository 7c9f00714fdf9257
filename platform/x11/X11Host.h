#pragma once

#include "platform/kit/MainLoop.h"
#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/View.h"
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
    using ViewFactory = std::function<std::shared_ptr<ScreenSaverView>(Size, bool preview)>;

    // The monitors to cover, in the screen's pixels.
    using MonitorList = std::function<std::vector<MonitorArea>(Display*, int screen)>;

    struct Settings {
        std::string display;          // empty: $DISPLAY
        std::optional<double> scale;  // pixels a point; absent: Xft.dpi / 96, else 1
        bool sharedMemory = true;     // put pictures through MIT-SHM where the server has it
        MonitorList monitors = activeMonitors;
        bool onlyChanges = true;  // false: whole pictures every time, for measurements
    };

    struct ViewStats {
        long long ticks = 0;
        long long pictures = 0;  // composed and put on the screen after a tick
        long long repaints = 0;  // the last picture put again because the server lost it
        long long bytesPut = 0;  // pixels' bytes of the pictures put after ticks
        // From the start of a tick to its picture handed to the server, summed over pictures.
        double tickToScreenSeconds = 0;
        // Time spent in ticks, drawing and presenting included (the GPU swaps in the tick).
        double tickSeconds = 0;
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
    void stop(int status = 0);

    // Handles what the server has sent: exposures, resizes, keys, monitor changes.
    void processEvents();
    // Covers the monitors as they are now: a view for each new one, none for one that went.
    void followMonitors();

    double scale() const { return scale_; }
    std::size_t viewCount() const { return entries_.size(); }
    ScreenSaverView& view(std::size_t index) { return *entries_[index]->view; }
    const ViewStats& stats(std::size_t index) const { return entries_[index]->stats; }
    unsigned long windowId(std::size_t index) const { return entries_[index]->xWindow; }
    bool sharesMemory(std::size_t index) const;
    XConnection& connection() { return *connection_; }

private:
    struct Entry {
        ::Window xWindow = 0;
        bool foreign = false;  // another program made it; it going ends the host
        std::optional<MonitorArea> monitor;
        std::shared_ptr<ScreenSaverView> view;
        std::unique_ptr<Window> window;
        std::unique_ptr<PicturePresenter> presenter;
        std::unique_ptr<MainLoop::Timer> timer;
        double nextTick = 0;
        ViewStats stats;
    };

    X11Host(Settings settings, ViewFactory makeView, std::unique_ptr<XConnection> connection);

    Entry& addEntry(::Window xWindow, bool foreign, bool preview);
    void removeEntry(std::size_t index);
    ::Window createWindow(const MonitorArea& area, bool overrideRedirect);
    Size pointsOf(int width, int height) const;
    Entry* entryOf(::Window xWindow);

    void start(Entry& entry);
    // Stops every view's ticks and animation: the feed lets the socket go and keeps what it
    // learned.
    void stopViews();
    void scheduleTick(Entry& entry);
    void tick(Entry& entry);
    void handle(XEvent& event);
    void handleKey(XKeyEvent& event);
    void toggleFullScreen(::Window xWindow);

    Settings settings_;
    ViewFactory makeView_;
    std::unique_ptr<XConnection> connection_;
    std::shared_ptr<X11Services> services_;
    double scale_ = 1;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::unique_ptr<MainLoop::Watch> serverWatch_;
    bool coveringMonitors_ = false;
    bool ownWindow_ = false;
    bool running_ = false;
    int randrEventBase_ = -1;
    Cursor blankCursor_ = 0;
    std::optional<int> exitStatus_;
};

}  // namespace floodmark
