#include "platform/headless/HeadlessHost.h"

#include "platform/kit/Time.h"

namespace floodmark {

class HeadlessHost::Services final : public ViewServices {
public:
    Services(const Settings& settings, TickClock& clock) : settings_(settings), clock_(clock) {}

    double now() override { return settings_.simulated ? clock_.now() : currentTime(); }
    double secondsSinceLastInput() override { return settings_.idleSeconds; }
    bool reduceMotion() override { return settings_.reduceMotion; }
    bool readScreenLocked() override { return settings_.locked; }

private:
    Settings settings_;
    TickClock& clock_;
};

namespace {

std::unique_ptr<TickClock> clockFor(const HeadlessHost::Settings& settings) {
    return settings.simulated ? TickClock::simulated(settings.startTime) : TickClock::steady();
}

}  // namespace

HeadlessHost::HeadlessHost(Settings settings, ViewFactory makeView)
    : settings_(settings),
      clock_(clockFor(settings)),
      services_(std::make_shared<Services>(settings, *clock_)),
      ticker_(*clock_, std::move(makeView), services_) {}

HeadlessHost::~HeadlessHost() {
    stopAll();
}

double HeadlessHost::now() {
    return services_->now();
}

std::size_t HeadlessHost::addView(ViewLayout layout) {
    surfaces_.push_back(std::make_unique<Surface>(*this, surfaces_.size(), layout));
    ticker_.add(*surfaces_.back(), std::make_unique<Window>(layout.size, layout.scale),
                layout.preview);
    return surfaces_.size() - 1;
}

void HeadlessHost::startAll() {
    ticker_.startViews();
}

void HeadlessHost::stopAll() {
    ticker_.stopViews();
}

void HeadlessHost::run(double seconds, const PictureHandler& onPicture) {
    onPicture_ = &onPicture;
    ticker_.clearStop();
    ticker_.run(seconds);
    onPicture_ = nullptr;
}

void HeadlessHost::wake(std::size_t index) {
    ticker_.wake(*surfaces_[index]);
}

void HeadlessHost::detach(std::size_t index) {
    ticker_.at(index).window->setContentView(nullptr);
}

void HeadlessHost::reattach(std::size_t index) {
    TickedView& ticked = ticker_.at(index);
    ticked.window->setContentView(ticked.view);
}

double HeadlessHost::Surface::drawDelay(double now) {
    return host.drawDelay_ ? host.drawDelay_(index, now) : 0;
}

void HeadlessHost::Surface::present(TickedView& ticked, double) {
    Window& window = *ticked.window;
    if (window.contentView() && window.compose()) {
        ++ticked.stats.pictures;
        if (host.onPicture_ && *host.onPicture_) {
            (*host.onPicture_)(index, *window.picture(), host.now());
        }
    }
}

}  // namespace floodmark
