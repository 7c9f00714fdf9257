#pragma once

#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/TickClock.h"
#include "platform/kit/View.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace floodmark {

struct ViewStats {
    long long ticks = 0;
    long long slowTicks = 0;  // ticks that left the view at more than the fast interval
    long long pictures = 0;   // put on the screen (or handed over) after ticks
    long long repaints = 0;   // the last picture put again because the screen lost it
    long long bytesPut = 0;   // pixels' bytes of the pictures put after ticks
    // From the start of a tick to its picture on the screen, summed over pictures.
    double tickToScreenSeconds = 0;
    // Time spent in ticks, drawing and presenting included.
    double tickSeconds = 0;
};

struct TickedView;

// One surface of a host's, as the ticker asks it: whether its view may draw now, and to put
// what a tick changed on the screen.
class ViewSurface {
public:
    static constexpr double untilWoken = std::numeric_limits<double>::infinity();

    virtual ~ViewSurface() = default;
    // Seconds the view must wait before its next tick: 0 to tick now, untilWoken to wait for
    // the host's ViewTicker::wake (no one sees the surface), or a time to ask again after
    // (the monitors are off, the compositor has not taken the last picture).
    virtual double drawDelay(double now) = 0;
    // Just before the view's tick: the GPU may swap in it.
    virtual void prepareTick() {}
    // After the tick: puts what changed on the screen. `tickStart` is on the ticker's clock.
    virtual void present(TickedView& ticked, double tickStart) = 0;
};

// A view as the ticker keeps it: in its window, with its beat and what it cost.
struct TickedView {
    ViewSurface* surface = nullptr;
    std::shared_ptr<ScreenSaverView> view;
    std::unique_ptr<Window> window;
    double nextTick = 0;
    ViewStats stats;
};

// The one loop of every host: it starts and stops the views and ticks each at its own
// interval, one tick at a time, asking the view's surface first whether it may draw.
class ViewTicker {
public:
    // Makes a view of a size that asks the given services of the system.
    using ViewFactory = std::function<std::shared_ptr<ScreenSaverView>(
        Size, bool preview, std::shared_ptr<ViewServices>)>;
    // A tick that leaves the view slower than this counts as slow.
    static constexpr double fastInterval = 1.0 / 30;

    // Each view is handed `services`; `clock` outlives the ticker.
    ViewTicker(TickClock& clock, ViewFactory makeView, std::shared_ptr<ViewServices> services);
    ~ViewTicker();
    ViewTicker(const ViewTicker&) = delete;
    ViewTicker& operator=(const ViewTicker&) = delete;

    // A new view on `surface`, made the size of `window` and put in it; started at once while
    // the views run.
    TickedView& add(ViewSurface& surface, std::unique_ptr<Window> window, bool preview);
    // Stops the surface's view and takes it out of its window.
    void remove(const ViewSurface& surface);
    TickedView* find(const ViewSurface& surface);
    std::size_t count() const { return views_.size(); }
    TickedView& at(std::size_t index) { return *views_[index]; }
    const TickedView& at(std::size_t index) const { return *views_[index]; }

    void startViews();
    // Stops every view's ticks and animation: the feed lets the socket go and keeps what it
    // learned.
    void stopViews();
    bool viewsRun() const { return running_; }
    // A view held until woken may tick now.
    void wake(const ViewSurface& surface);

    // A display's whole run: starts the views, calls `started`, ticks them until stop(),
    // SIGINT, SIGTERM or SIGHUP, then stops them. The status given to stop(), else 0.
    int runViews(const std::function<void()>& started);
    // Ticks the views until stop(), or until `seconds` of the clock have passed; at once when
    // stop() came since the last clearStop().
    void run(double seconds = std::numeric_limits<double>::infinity());
    // Ends run(); the first status given since clearStop() is the one kept.
    void stop(int status = 0);
    void clearStop() { stopStatus_.reset(); }

    double now() { return clock_.now(); }
    // Called after each tick, once the ticker is done with it: the host may read its events.
    std::function<void()> onTicked;

private:
    TickedView* dueFirst();
    void schedule();
    void tickNext();
    void tick(TickedView& ticked, double now);

    TickClock& clock_;
    ViewFactory makeView_;
    std::shared_ptr<ViewServices> services_;
    std::vector<std::unique_ptr<TickedView>> views_;
    bool running_ = false;
    std::optional<int> stopStatus_;
};

}  // namespace floodmark
