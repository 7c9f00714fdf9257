#include "platform/kit/ViewTicker.h"

#include "platform/kit/MainLoop.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

// Each tick's drawing (a stroke's spans, a band's coverage) takes and gives back a few hundred
// kilobytes at the top of the heap. glibc would return them to the kernel after every tick and
// fault them in afresh on the next, four hundred pages a second at 4K; a few megabytes kept
// free at the top spare that. Fixing the threshold also stops glibc moving its mapping
// threshold, so full-screen buffers stay mapped of their own and are returned when freed.
void keepHeapTopBetweenTicks() {
#ifdef __GLIBC__
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}

}  // namespace

ViewTicker::ViewTicker(TickClock& clock, ViewFactory makeView,
                       std::shared_ptr<ViewServices> services)
    : clock_(clock), makeView_(std::move(makeView)), services_(std::move(services)) {}

ViewTicker::~ViewTicker() {
    clock_.cancelWake();
    while (!views_.empty()) {
        remove(*views_.back()->surface);
    }
}

TickedView& ViewTicker::add(ViewSurface& surface, std::unique_ptr<Window> window, bool preview) {
    auto ticked = std::make_unique<TickedView>();
    ticked->surface = &surface;
    ticked->view = makeView_(window->size(), preview, services_);
    ticked->window = std::move(window);
    ticked->window->setContentView(ticked->view);
    views_.push_back(std::move(ticked));
    TickedView& added = *views_.back();
    if (running_) {
        added.view->startAnimation();
        added.nextTick = clock_.now();
        schedule();
    }
    return added;
}

void ViewTicker::remove(const ViewSurface& surface) {
    auto found = std::find_if(views_.begin(), views_.end(),
                              [&](const auto& ticked) { return ticked->surface == &surface; });
    if (found == views_.end()) {
        return;
    }
    auto ticked = std::move(*found);
    views_.erase(found);
    if (ticked->view->isAnimating()) {
        ticked->view->stopAnimation();
    }
    ticked->window->setContentView(nullptr);
    schedule();
}

TickedView* ViewTicker::find(const ViewSurface& surface) {
    for (auto& ticked : views_) {
        if (ticked->surface == &surface) {
            return ticked.get();
        }
    }
    return nullptr;
}

void ViewTicker::startViews() {
    running_ = true;
    double now = clock_.now();
    for (auto& ticked : views_) {
        ticked->view->startAnimation();
        ticked->nextTick = now;
    }
    schedule();
}

void ViewTicker::stopViews() {
    running_ = false;
    clock_.cancelWake();
    for (auto& ticked : views_) {
        if (ticked->view->isAnimating()) {
            ticked->view->stopAnimation();
        }
    }
}

void ViewTicker::wake(const ViewSurface& surface) {
    TickedView* ticked = find(surface);
    if (running_ && ticked && std::isinf(ticked->nextTick)) {
        ticked->nextTick = clock_.now();
        schedule();
    }
}

int ViewTicker::runViews(const std::function<void()>& started) {
    clearStop();
    keepHeapTopBetweenTicks();
    MainLoop::main().onTerminationSignals([this] { stop(0); });
    startViews();
    started();
    run();
    stopViews();
    return stopStatus_.value_or(0);
}

void ViewTicker::run(double seconds) {
    if (!stopStatus_) {
        clock_.run(seconds);
    }
}

void ViewTicker::stop(int status) {
    if (!stopStatus_) {
        stopStatus_ = status;
    }
    clock_.stop();
}

TickedView* ViewTicker::dueFirst() {
    auto first = std::min_element(views_.begin(), views_.end(), [](const auto& a, const auto& b) {
        return a->nextTick < b->nextTick;
    });
    return first != views_.end() ? first->get() : nullptr;
}

// One wake at a time, for the view due first: the views' ticks never overlap, and what the
// loop reads in between (events, socket lines) comes between ticks.
void ViewTicker::schedule() {
    TickedView* next = dueFirst();
    if (!running_ || next == nullptr || std::isinf(next->nextTick)) {
        clock_.cancelWake();
        return;
    }
    clock_.wakeAt(next->nextTick, [this] { tickNext(); });
}

void ViewTicker::tickNext() {
    TickedView* next = dueFirst();
    double now = clock_.now();
    if (next != nullptr && next->nextTick <= now) {
        tick(*next, now);
    }
    schedule();
    if (onTicked) {
        onTicked();
    }
}

void ViewTicker::tick(TickedView& ticked, double now) {
    double delay = ticked.surface->drawDelay(now);
    if (delay > 0) {
        // Nothing to see: no tick, no picture, until the surface says so.
        ticked.nextTick = now + delay;
        return;
    }
    ticked.surface->prepareTick();
    ticked.view->animateOneFrame();
    double interval = ticked.view->animationTimeInterval();
    ++ticked.stats.ticks;
    ticked.stats.slowTicks += interval > fastInterval + 1e-9 ? 1 : 0;
    // Keep the view's beat, but never owe it ticks after a stall.
    ticked.nextTick = std::max(ticked.nextTick + interval, now);
    ticked.surface->present(ticked, now);
    ticked.stats.tickSeconds += clock_.now() - now;
}

}  // namespace floodmark
