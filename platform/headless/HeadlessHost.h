#pragma once

#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/View.h"
#include "platform/kit/ViewServices.h"

#include <functional>
#include <memory>
#include <vector>

namespace floodmark {

// A host without a display: it puts each view in an offscreen window, ticks each at that
// view's own interval and composes the windows whose views asked to be redrawn. It runs on the
// real clock, or on a simulated clock that jumps from tick to tick as fast as the machine can.
class HeadlessHost {
public:
    struct Settings {
        bool simulated = false;
        double startTime = 0;  // the simulated clock's first reading; the real clock ignores it
        double idleSeconds = 3600;  // seconds since the user's last input, as the views see it
        bool locked = false;
        bool reduceMotion = false;
    };

    struct ViewLayout {
        Size size;
        double scale = 1;
        bool preview = false;
    };

    struct ViewStats {
        long long ticks = 0;
        long long pictures = 0;
        long long slowTicks = 0;  // ticks that left the view at more than the fast interval
    };

    using ViewFactory = std::function<std::shared_ptr<ScreenSaverView>(Size, bool preview)>;
    // Called with the view's index, its window's new picture and the host's clock.
    using PictureHandler = std::function<void(std::size_t, const CairoCanvas&, double now)>;

    HeadlessHost(Settings settings, ViewFactory makeView);
    ~HeadlessHost();
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    std::size_t addView(ViewLayout layout);
    void startAll();
    void stopAll();
    // Ticks the views until `seconds` of the host's clock have passed, or stop() is called.
    void run(double seconds, const PictureHandler& onPicture = nullptr);
    // Ends run() early; safe from a signal handler's main-loop callback.
    void stop() { stopRequested_ = true; }

    // Takes a view out of its window, or puts it back, without stopping or starting it.
    void detach(std::size_t index);
    void reattach(std::size_t index);

    double now() const;
    ScreenSaverView& view(std::size_t index) { return *entries_[index].view; }
    const ViewStats& stats(std::size_t index) const { return entries_[index].stats; }
    const ViewLayout& layout(std::size_t index) const { return entries_[index].layout; }
    std::size_t viewCount() const { return entries_.size(); }

private:
    class Services;
    struct Entry {
        ViewLayout layout;
        std::shared_ptr<ScreenSaverView> view;
        std::unique_ptr<Window> window;
        double nextTick = 0;
        ViewStats stats;
    };

    void waitUntil(double time);

    Settings settings_;
    ViewFactory makeView_;
    std::shared_ptr<Services> services_;
    std::vector<Entry> entries_;
    bool stopRequested_ = false;
};

}  // namespace floodmark
