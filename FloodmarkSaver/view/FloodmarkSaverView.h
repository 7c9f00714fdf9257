#pragma once

#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "FloodmarkSaver/gpu/FloodmarkGpuRenderer.h"
#include "FloodmarkSaver/gpu/FloodmarkMotionGate.h"
#include "FloodmarkSaver/gpu/GpuWatch.h"
#include "FloodmarkSaver/view/ChromeGate.h"
#include "FloodmarkSaver/view/DetachGate.h"
#include "FloodmarkSaver/view/FloodmarkChromeView.h"
#include "FloodmarkSaver/view/ReattachWatch.h"
#include "FloodmarkSaver/view/SessionLockCache.h"
#include "platform/kit/ScreenSaverView.h"

#include <memory>
#include <optional>

namespace floodmark {

// The saver's view: each tick it takes a frame from its lease on the shared feed, picks the
// next tick's interval, hands the frame to the chrome overlay and gets the water drawn when
// the picture can have changed. Main thread only.
class FloodmarkSaverView final : public ScreenSaverView,
                                 public std::enable_shared_from_this<FloodmarkSaverView> {
public:
    static constexpr double fastInterval = 1.0 / 30;
    static constexpr double slowInterval = 1.0 / 15;
    // The largest move, in device pixels, that still counts as still.
    static constexpr double motionThreshold = 1;
    // The share of the height the level spans, as the renderer's water top.
    static constexpr double levelScale = 0.92;
    // The backing scale of a view without a window.
    static constexpr double defaultScale = 2;

    // It draws with the GPU of its services, where that has a device.
    static std::shared_ptr<FloodmarkSaverView> make(Size size, bool isPreview,
                                                    std::shared_ptr<ViewServices> services = {});
    ~FloodmarkSaverView() override;

    void startAnimation() override;
    void stopAnimation() override;
    void animateOneFrame() override;
    void draw(DrawingContext& context) override;
    // The scene covers every pixel, except while the GPU view draws it instead.
    bool isOpaque() const override { return !drawsOnGpu(); }
    void viewDidMoveToWindow() override;
    bool hasConfigureSheet() const override { return true; }

    // The process's one cache of the session's locked state.
    static SessionLockCache& sessionLock();

    // The interval of the next tick: fast while anything moves by a pixel between `previous`
    // and `next`, or marks live, or the style is calm; slow otherwise.
    static double intervalFor(const FloodmarkFrame& previous, const FloodmarkFrame& next, Size size,
                              double scale);

    const FloodmarkFrame& current() const { return current_; }
    bool holdsLease() const { return lease_ != nullptr; }
    bool isRetired() const { return detach_.retired; }
    bool isWatchingForWindow() const { return reattach_.isWatching(); }
    const FloodmarkChromeView& chromeView() const { return *chromeView_; }
    // The GPU view under the chrome, or null when the view draws with Cairo only.
    GpuView* gpuView() const { return gpuView_.get(); }
    bool fellBackToCairo() const { return gpuWatch_.fellBack; }

private:
    FloodmarkSaverView(Size size, bool isPreview, std::shared_ptr<ViewServices> services);

    template <typename Call>
    static void shielded(Call call);
    // The host calls' own work, run shielded.
    void start();
    void stop();
    void tick();
    void paint(DrawingContext& context);
    void followWindow();

    void countView(int change);
    bool drawsOnGpu() const;
    void drawOnGpu(const FloodmarkFrame& frame, double scale, double now);
    // Cairo repaints all of the view, or only what `frame` changes against the last frame
    // it was asked to paint.
    void redrawWhole();
    void redrawChanged(const FloodmarkFrame& frame);
    void follow(DetachGate::Action action);

    std::unique_ptr<FloodmarkFeedLease> lease_;
    std::unique_ptr<FloodmarkGpuRenderer> gpuRenderer_;
    std::shared_ptr<GpuView> gpuView_;
    GpuWatch gpuWatch_;
    std::shared_ptr<FloodmarkChromeView> chromeView_;
    FloodmarkMotionGate motionGate_;
    FloodmarkFrame current_ = FloodmarkFrame::resting();
    std::optional<FloodmarkFrame> painted_;  // what the view's picture shows, when known
    std::optional<FloodmarkFrame> onGpu_;    // what the GPU last presented, when known
    ChromeGate chromeGate_;
    DetachGate detach_;
    ReattachWatch reattach_;
    bool gateIsDriving_ = false;
};

}  // namespace floodmark
