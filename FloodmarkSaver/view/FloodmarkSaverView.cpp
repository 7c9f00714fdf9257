#include "FloodmarkSaver/view/FloodmarkSaverView.h"

#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/SceneDamage.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/draw/Fonts.h"
#include "platform/gl/GpuDisplay.h"

#include <algorithm>
#include <cmath>

namespace floodmark {

std::shared_ptr<FloodmarkSaverView> FloodmarkSaverView::make(
    Size size, bool isPreview, std::shared_ptr<ViewServices> services) {
    return std::shared_ptr<FloodmarkSaverView>(
        new FloodmarkSaverView(size, isPreview, std::move(services)));
}

// Nothing is thrown to the host: whatever escapes a host call is counted, and the saver goes
// on with the next one.
template <typename Call>
void FloodmarkSaverView::shielded(Call call) {
    try {
        call();
    } catch (...) {
        SaverStatus::shared()->recordCaughtException();
    }
}

FloodmarkSaverView::FloodmarkSaverView(Size size, bool isPreview,
                                       std::shared_ptr<ViewServices> services)
    : ScreenSaverView(size, isPreview, std::move(services)),
      chromeView_(std::make_shared<FloodmarkChromeView>(size)) {
    setAnimationTimeInterval(fastInterval);
    registerBundledFonts();
    GpuDisplay& gpu = this->services().gpu();
    auto device = gpu.device();
    gpuRenderer_ = FloodmarkGpuRenderer::make(device);
    if (gpuRenderer_) {
        gpuView_ = std::make_shared<GpuView>(size, device);
        gpuView_->setDelegate(
            [renderer = gpuRenderer_.get()](GpuView& view) { renderer->draw(view); });
        // In a window the GPU presents the whole picture, the chrome blended over the water.
        gpuView_->setOverlay(chromeView_);
        addSubview(gpuView_);
    } else {
        std::string reason = gpu.unavailableReason();
        SaverStatus::shared()->drawsWithCairo(reason.empty() ? "the GPU renderer cannot be made"
                                                             : reason);
    }
    addSubview(chromeView_);
}

// A view dropped while animating gives its lease and its count back.
FloodmarkSaverView::~FloodmarkSaverView() {
    shielded([this] {
        if (lease_) {
            countView(-1);
        }
    });
}

SessionLockCache& FloodmarkSaverView::sessionLock() {
    static SessionLockCache cache;
    return cache;
}

void FloodmarkSaverView::startAnimation() {
    shielded([this] { start(); });
}

void FloodmarkSaverView::stopAnimation() {
    shielded([this] { stop(); });
}

void FloodmarkSaverView::viewDidMoveToWindow() {
    shielded([this] { followWindow(); });
}

void FloodmarkSaverView::animateOneFrame() {
    shielded([this] { tick(); });
}

void FloodmarkSaverView::draw(DrawingContext& context) {
    shielded([&] { paint(context); });
}

void FloodmarkSaverView::start() {
    if (!gateIsDriving_) {
        detach_.hostTookOver();
        reattach_.cancel();
    }
    ScreenSaverView::startAnimation();
    chromeGate_.reset();
    motionGate_.invalidate();
    painted_.reset();
    onGpu_.reset();
    gpuWatch_.reset();
    if (gpuView_) {
        gpuView_->setHidden(false);
    }
    if (lease_) {
        return;
    }
    auto share = isPreview() ? SharedFloodmarkFeed::make(false) : SharedFloodmarkFeed::host();
    lease_ = share->acquire();
    countView(+1);
}

void FloodmarkSaverView::stop() {
    if (!gateIsDriving_) {
        detach_.hostTookOver();
        reattach_.cancel();
    }
    if (lease_) {
        countView(-1);
        lease_->release();
    }
    lease_.reset();
    ScreenSaverView::stopAnimation();
}

void FloodmarkSaverView::countView(int change) {
    SaverStatus& status = *SaverStatus::shared();
    if (change > 0) {
        status.viewOpened(isPreview(), services().now());
    } else {
        status.viewClosed(isPreview(), services().now());
    }
}

void FloodmarkSaverView::followWindow() {
    follow(detach_.observe(window() != nullptr));
}

void FloodmarkSaverView::follow(DetachGate::Action action) {
    if (action == DetachGate::Action::none) {
        return;
    }
    gateIsDriving_ = true;
    if (action == DetachGate::Action::retire) {
        stopAnimation();
        std::weak_ptr<FloodmarkSaverView> weak = weak_from_this();
        reattach_.begin(ReattachWatch::pollInterval, [weak] {
            auto view = weak.lock();
            if (!view) {
                return false;
            }
            view->follow(view->detach_.observe(view->window() != nullptr));
            return view->detach_.retired;
        });
    } else {
        reattach_.cancel();
        startAnimation();
    }
    gateIsDriving_ = false;
}

double FloodmarkSaverView::intervalFor(const FloodmarkFrame& previous, const FloodmarkFrame& next,
                                       Size size, double scale) {
    if (!next.ripples.empty() || !next.pops.empty()) {
        return fastInterval;
    }
    double dy = scale * size.height * std::fabs(next.y - previous.y) * levelScale;
    double dx = scale * size.width * std::fabs(next.x - previous.x);
    if (std::max(dy, dx) > motionThreshold || next.style.isCalm()) {
        return fastInterval;
    }
    return slowInterval;
}

void FloodmarkSaverView::tick() {
    follow(detach_.observe(window() != nullptr));
    if (detach_.retired) {
        return;
    }
    ViewServices& services = this->services();
    double now = services.now();
    double scale = window() ? window()->backingScale() : defaultScale;

    FloodmarkFrame frame = FloodmarkFrame::resting();
    if (lease_) {
        bool visible = chromeGate_.step(
            services.secondsSinceLastInput(),
            sessionLock().locked(now, [&] { return services.readScreenLocked(); }));
        frame = lease_->step(now, services.reduceMotion(), visible);
    }

    double interval = intervalFor(current_, frame, bounds(), scale);
    if (interval != animationTimeInterval()) {
        setAnimationTimeInterval(interval);
    }
    current_ = frame;
    chromeView_->show(frame);

    if (frame.style.isCalm()) {
        if (gpuView_) {
            gpuView_->setHidden(true);
        }
        onGpu_.reset();
        motionGate_.invalidate();
        redrawWhole();
        return;
    }
    if (!(bounds().height > 0)) {
        return;
    }
    if (gpuView_ && !gpuWatch_.fellBack) {
        drawOnGpu(frame, scale, now);
        return;
    }
    if (gpuView_) {
        gpuView_->setHidden(true);
    }
    if (motionGate_.needsDraw(frame, bounds(), scale)) {
        redrawChanged(frame);
        motionGate_.didDraw(frame, bounds(), scale);
    }
}

void FloodmarkSaverView::redrawWhole() {
    setNeedsDisplay();
    painted_.reset();
}

void FloodmarkSaverView::redrawChanged(const FloodmarkFrame& frame) {
    std::optional<Rect> changed;
    if (painted_) {
        changed = SceneDamage::between(*painted_, frame, bounds());
    }
    if (changed) {
        setNeedsDisplayInRect(*changed);
    } else {
        setNeedsDisplay();
    }
    painted_ = frame;
}

void FloodmarkSaverView::drawOnGpu(const FloodmarkFrame& frame, double scale, double now) {
    gpuView_->setHidden(false);
    const auto [width, height] = bounds().pixelsAt(scale);
    if (width != gpuView_->drawableWidth() || height != gpuView_->drawableHeight()) {
        onGpu_.reset();
    }
    gpuView_->setDrawableSize(width, height);
    if (!motionGate_.needsDraw(frame, bounds(), scale)) {
        return;
    }
    gpuRenderer_->frame = frame;
    gpuRenderer_->beginDraw();
    std::optional<Rect> changed;
    if (onGpu_) {
        changed = SceneDamage::between(*onGpu_, frame, bounds());
    }
    gpuView_->setChanged(
        changed ? std::optional<PixelRect>(pixelsCovering(*changed, scale, width, height))
                : std::nullopt);
    gpuView_->drawNow();
    SaverStatus& status = *SaverStatus::shared();
    bool presented = gpuRenderer_->presentedLastDraw();
    if (presented) {
        motionGate_.didDraw(frame, bounds(), scale);
        onGpu_ = frame;
    } else {
        onGpu_.reset();
        status.recordDrawMiss(gpuRenderer_->lastMiss(), now);
    }
    if (gpuWatch_.record(presented, now)) {
        // The GPU has shown nothing for its whole patience: Cairo draws from now on.
        gpuView_->setHidden(true);
        motionGate_.invalidate();
        redrawWhole();
        auto miss = gpuRenderer_->lastMiss().value_or(DrawMiss::skipped);
        std::string reason = "the GPU presented nothing for 2 s: ";
        reason += miss.rawValue();
        status.drawsWithCairo(std::move(reason));
        status.recordFallback(now);
    }
}

bool FloodmarkSaverView::drawsOnGpu() const {
    return gpuView_ && !current_.style.isCalm() && !gpuWatch_.fellBack;
}

void FloodmarkSaverView::paint(DrawingContext& context) {
    // The GPU view covers this one.
    if (drawsOnGpu()) {
        return;
    }
    // What the rest of the picture shows, so that a part painted again matches it.
    FloodmarkRenderer::drawScene(painted_.value_or(current_), context, bounds());
}

}  // namespace floodmark
