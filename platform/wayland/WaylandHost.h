#pragma once

#include "platform/kit/MainLoop.h"
#include "platform/kit/ScreenSaverView.h"
#include "platform/kit/View.h"
#include "platform/kit/ViewTicker.h"
#include "platform/wayland/GnomeUserActivity.h"
#include "platform/wayland/OutputSurface.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandInput.h"
#include "platform/wayland/WaylandServices.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// The host on a Wayland compositor: an overlay layer on every output where the compositor
// has layer-shell, else a full-screen window on every output, or one ordinary window. Each
// surface has its own view, ticked at its own interval on the main loop; a picture goes to
// the compositor only when the view asked to be redrawn and the compositor has asked for the
// next frame, and a surface whose frame has not been asked for in a second (hidden, monitor
// asleep) is not ticked until it is.
class WaylandHost {
public:
    using ViewFactory = ViewTicker::ViewFactory;

    struct Settings {
        bool window = false;  // one ordinary window instead of covering every output
        Size windowPoints{1280, 720};
        bool inputEnds = true;   // a key, a button or a moved pointer ends a saver
        std::string outputName;  // cover only the output of this name; empty: all
    };

    // A frame callback awaited longer than this means no one sees the surface.
    static constexpr double hiddenAfter = 1;
    // Pointer motion in the first moments is the compositor settling, not the user.
    static constexpr double inputGrace = 1;
    // How far the pointer may drift, in points, before it counts as the user's.
    static constexpr double pointerSlack = 5;

    // Null, with the reason, when no compositor answers or it offers no way to show a surface.
    static std::unique_ptr<WaylandHost> open(Settings settings, ViewFactory makeView,
                                             std::string& error);
    ~WaylandHost();
    WaylandHost(const WaylandHost&) = delete;
    WaylandHost& operator=(const WaylandHost&) = delete;

    // Starts the views and runs until stop(), SIGINT, SIGTERM or SIGHUP, input on a saver's
    // surface, or the loss of the compositor; then stops every view. The exit status.
    int run();
    void stop(int status = 0) { ticker_.stop(status); }

    std::size_t viewCount() const { return ticker_.count(); }
    const ViewStats& stats(std::size_t index) const { return ticker_.at(index).stats; }

private:
    // One surface on the compositor; its view is made at the first configure.
    struct Surface final : ViewSurface {
        Surface(WaylandHost& host, WaylandOutput* output);
        double drawDelay(double now) override;
        void prepareTick() override { output.prepareGpuFrame(); }
        void present(TickedView& ticked, double tickStart) override;
        // Hands the picture waiting to the compositor, if it is ready for one.
        void presentWaiting(TickedView& ticked);
        void noteGpuSwaps(TickedView& ticked, double tickStart);

        WaylandHost& host;
        OutputSurface output;
        double composedAt = 0;
        bool pictureWaiting = false;  // marked, not yet drawn for the compositor
        long long gpuSwaps = 0;       // the GPU's swaps onto the surface, as last seen
    };
    struct PointerAnchor {
        void* surface;
        double x;
        double y;
    };

    WaylandHost(Settings settings, ViewFactory makeView,
                std::unique_ptr<WaylandConnection> connection, OutputSurface::Role role);

    void cover(WaylandOutput& output);
    void uncover(WaylandOutput& output);
    void addSurface(WaylandOutput* output);
    void removeSurface(std::size_t index);
    void surfaceResized(Surface& surface);
    void frameDone(Surface& surface);
    void readCompositor();
    void keyPressed(std::uint32_t key);
    void pointerMoved(void* surface, double x, double y);
    void userActed();

    Settings settings_;
    std::unique_ptr<WaylandConnection> connection_;
    OutputSurface::Role role_;
    std::shared_ptr<WaylandServices> services_;
    std::unique_ptr<TickClock> clock_ = TickClock::steady();
    ViewTicker ticker_;
    std::unique_ptr<WaylandInput> input_;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::unique_ptr<MainLoop::Watch> compositorWatch_;
    std::unique_ptr<GnomeUserActivity> desktopActivity_;
    std::optional<PointerAnchor> pointerAnchor_;
    double startedAt_ = 0;
};

}  // namespace floodmark
