#pragma once

#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/View.h"
#include "platform/kit/ViewServices.h"
#include "platform/kit/ViewTicker.h"

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

    using ViewFactory = ViewTicker::ViewFactory;
    // Called with the view's index, its window's new picture and the host's clock.
    using PictureHandler = std::function<void(std::size_t, const CairoCanvas&, double now)>;
    // The surfaces' answer to whether a view may draw now (see ViewSurface::drawDelay), as a
    // display would give it: monitors off, a surface no one sees. None: always now.
    using DrawDelay = std::function<double(std::size_t index, double now)>;

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
    void stop() { ticker_.stop(); }

    void setDrawDelay(DrawDelay delay) { drawDelay_ = std::move(delay); }
    // A view held until woken (drawDelay said ViewSurface::untilWoken) may tick again.
    void wake(std::size_t index);

    // Takes a view out of its window, or puts it back, without stopping or starting it.
    void detach(std::size_t index);
    void reattach(std::size_t index);

    double now();
    ScreenSaverView& view(std::size_t index) { return *ticker_.at(index).view; }
    const ViewStats& stats(std::size_t index) const { return ticker_.at(index).stats; }
    const ViewLayout& layout(std::size_t index) const { return surfaces_[index]->layout; }
    std::size_t viewCount() const { return ticker_.count(); }

private:
    class Services;
    struct Surface final : ViewSurface {
        Surface(HeadlessHost& host, std::size_t index, ViewLayout layout)
            : host(host), index(index), layout(layout) {}
        double drawDelay(double now) override;
        void present(TickedView& ticked, double tickStart) override;

        HeadlessHost& host;
        std::size_t index;
        ViewLayout layout;
    };

    Settings settings_;
    std::unique_ptr<TickClock> clock_;
    std::shared_ptr<Services> services_;
    ViewTicker ticker_;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    const PictureHandler* onPicture_ = nullptr;
    DrawDelay drawDelay_;
};

}  // namespace floodmark
