#include "platform/headless/HeadlessHost.h"

#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"

#include <algorithm>

namespace floodmark {

class HeadlessHost::Services final : public ViewServices {
public:
    explicit Services(const Settings& settings)
        : settings_(settings), simulatedNow_(settings.startTime) {}

    double now() override { return settings_.simulated ? simulatedNow_ : currentTime(); }
    double secondsSinceLastInput() override { return settings_.idleSeconds; }
    bool reduceMotion() override { return settings_.reduceMotion; }
    bool readScreenLocked() override { return settings_.locked; }

    void advanceTo(double time) { simulatedNow_ = std::max(simulatedNow_, time); }

private:
    Settings settings_;
    double simulatedNow_;
};

HeadlessHost::HeadlessHost(Settings settings, ViewFactory makeView)
    : settings_(settings),
      makeView_(std::move(makeView)),
      services_(std::make_shared<Services>(settings)) {
    ViewServices::install(services_);
}

HeadlessHost::~HeadlessHost() {
    stopAll();
}

double HeadlessHost::now() const {
    return services_->now();
}

std::size_t HeadlessHost::addView(ViewLayout layout) {
    Entry entry;
    entry.layout = layout;
    entry.view = makeView_(layout.size, layout.preview);
    entry.window = std::make_unique<Window>(layout.size, layout.scale);
    entry.window->setContentView(entry.view);
    entries_.push_back(std::move(entry));
    return entries_.size() - 1;
}

void HeadlessHost::startAll() {
    double start = now();
    for (auto& entry : entries_) {
        entry.view->startAnimation();
        entry.nextTick = start;
    }
}

void HeadlessHost::stopAll() {
    for (auto& entry : entries_) {
        if (entry.view->isAnimating()) {
            entry.view->stopAnimation();
        }
    }
}

void HeadlessHost::detach(std::size_t index) {
    entries_[index].window->setContentView(nullptr);
}

void HeadlessHost::reattach(std::size_t index) {
    entries_[index].window->setContentView(entries_[index].view);
}

void HeadlessHost::waitUntil(double time) {
    MainLoop& loop = MainLoop::main();
    if (settings_.simulated) {
        services_->advanceTo(time);
        loop.runUntilIdle();
        return;
    }
    // Posted work (socket lines, timers) runs while the host waits for the next tick.
    double wait = time - now();
    if (wait > 0) {
        loop.runFor(wait);
    } else {
        loop.runUntilIdle();
    }
}

void HeadlessHost::run(double seconds, const PictureHandler& onPicture) {
    stopRequested_ = false;
    const double end = now() + seconds;
    while (!stopRequested_ && !entries_.empty()) {
        auto next = std::min_element(
            entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.nextTick < b.nextTick; });
        if (next->nextTick > end) {
            break;
        }
        waitUntil(next->nextTick);
        if (stopRequested_) {
            break;
        }
        Entry& entry = *next;
        entry.view->animateOneFrame();
        double interval = entry.view->animationTimeInterval();
        ++entry.stats.ticks;
        entry.stats.slowTicks += interval > 1.0 / 30 + 1e-9 ? 1 : 0;
        entry.nextTick += interval;
        if (entry.window->contentView() && entry.window->compose()) {
            ++entry.stats.pictures;
            if (onPicture) {
                onPicture(static_cast<std::size_t>(next - entries_.begin()),
                          *entry.window->picture(), now());
            }
        }
    }
}

}  // namespace floodmark
