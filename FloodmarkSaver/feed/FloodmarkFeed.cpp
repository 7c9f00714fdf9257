#include "FloodmarkSaver/feed/FloodmarkFeed.h"

#include "FloodmarkSaver/feed/AwayMessages.h"
#include "FloodmarkSaver/feed/Easing.h"
#include "FloodmarkSaver/feed/Pace.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/frame/FloodmarkRendererLevels.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/ShortTimeText.h"
#include "platform/system/ApplicationDirectory.h"

#include <algorithm>

namespace floodmark {

namespace {

// Drops the marks older than `life` (an age of exactly `life` stays) and gives the rest as
// frame marks, their ages as shares of that life.
std::vector<SurfaceMark> ageMarks(std::vector<FloodmarkFeed::Mark>& marks, double life,
                                  double now) {
    std::erase_if(marks, [&](const FloodmarkFeed::Mark& mark) { return now - mark.born > life; });
    std::vector<SurfaceMark> aged;
    aged.reserve(marks.size());
    for (const auto& mark : marks) {
        aged.push_back({.age = (now - mark.born) / life, .position = mark.position});
    }
    return aged;
}

}  // namespace

const std::string& FloodmarkFeed::defaultCalibrationPath() {
    static const std::string path = applicationDirectory() + "/calibration.json";
    return path;
}

const std::string& FloodmarkFeed::defaultSocketPath() {
    return LiveBus::defaultPath();
}

FloodmarkFeed::FloodmarkFeed(Settings settings, double now)
    : settings_(std::move(settings)),
      calibration_(settings_.calibrationPath),
      aggregator_(std::make_shared<LiveDemandAggregator>(calibration_.restore())),
      live_({settings_.socketPath, settings_.preview, settings_.status, settings_.clock},
            aggregator_),
      epoch_(now) {}

FloodmarkFeed::~FloodmarkFeed() = default;

void FloodmarkFeed::start() {
    live_.allowBinding();
    // Arbitrated first: a feed that a fresh away-state file pairs does not bind, so the held
    // signals stay for the next owner rather than vanish with a socket given up at once.
    double now = settings_.clock();
    lastArbitration_ = now;
    arbitrate(now);
}

void FloodmarkFeed::stop() {
    bool owned = live_.ownsBus();
    live_.stop();
    calibration_.keepIfLearned(*aggregator_->calibration(), settings_.clock());
    if (owned && !settings_.preview && settings_.status) {
        settings_.status->busReleased(settings_.clock());
    }
}

// Every step, in this order: the source (arbitrated once a second), the status file's
// heartbeat, the live reading, the calibration kept, the targets of the mode, the easing
// toward them, and the frame.
FloodmarkFrame FloodmarkFeed::step(double now, bool reduceMotion) {
    if (isDue(now, lastArbitration_, arbitrationInterval)) {
        lastArbitration_ = now;
        arbitrate(now);
    }
    report(now);
    if (auto impulse = live_.advance(now)) {
        spawnImpulse(*impulse, now);
    }
    if (live_.ownsBus()) {
        calibration_.keepWhenDue(*aggregator_->calibration(), now);
    }
    Targets target = targets(now);
    ease(target, now);
    return frame(target, now, reduceMotion);
}

void FloodmarkFeed::arbitrate(double now) {
    if (pairedReading(now)) {
        live_.release();
        mode_ = FeedMode::paired;
        return;
    }
    if (live_.arbitrate(now)) {
        calibration_.learningFrom(now);
    }
    mode_ = live_.ownsBus() || live_.isFollowing() ? FeedMode::live : FeedMode::ambient;
}

const std::optional<PairedState>& FloodmarkFeed::pairedReading(double now) {
    if (isDue(now, pairedReadAt_, pairedRereadInterval)) {
        pairedReadAt_ = now;
        pairedCache_ = PairedState::read(settings_.statePath, now);
    }
    return pairedCache_;
}

void FloodmarkFeed::report(double now) {
    const auto& status = settings_.status;
    if (!status) {
        return;
    }
    if (!settings_.preview) {
        status->feedArbitrated(mode_, live_.ownsBus(), live_.isFollowing());
    }
    live_.reportDropped(*status);
    status->heartbeat(now);
}

void FloodmarkFeed::ease(const Targets& target, double now) {
    if (lastStepAt_) {
        double dt = now - *lastStepAt_;
        easedY_ = easeToward(easedY_, target.level, dt, riseTau, fallTau);
        easedX_ = easeToward(easedX_, target.activity, dt, runRiseTau, runFallTau);
    } else {
        easedY_ = target.level;
        easedX_ = target.activity;
    }
    lastStepAt_ = now;
}

FloodmarkFrame FloodmarkFeed::frame(const Targets& target, double now, bool reduceMotion) {
    FloodmarkFrame frame;
    frame.y = easedY_;
    frame.x = easedX_;
    frame.severity = pairedSeverity_;
    frame.style = pairedStyle_;
    frame.time = now - epoch_;
    frame.ripples = ageMarks(ripples_, rippleLife, now);
    frame.pops = ageMarks(pops_, popLife, now);
    frame.clock = shortTimeText(now);
    frame.message = message(target.awaiting, now);
    frame.reduceMotion = reduceMotion;
    frame.depth = pairedDepth_;
    frame.sustain = pairedSustain_;
    return frame;
}

FloodmarkFeed::Targets FloodmarkFeed::targets(double now) {
    constexpr double resting = FloodmarkRendererLevels::ambientResting;
    switch (mode_.value()) {
        case FeedMode::paired: {
            const auto& reading = pairedReading(now);
            if (!reading) {
                // The next arbitration leaves paired mode; the tint holds until then.
                return {.level = resting, .activity = 0, .awaiting = 0};
            }
            if (reading->impulse && reading->impulseAt) {
                consumeImpulse(*reading->impulse, *reading->impulseAt, now);
            }
            pairedSeverity_ = reading->severity;
            pairedStyle_ = reading->style.drawn();
            pairedDepth_ = std::min(0.6 * reading->agents + 0.4 * reading->mix, 1.0);
            pairedSustain_ = reading->sustain;
            return {.level = reading->y, .activity = reading->x, .awaiting = reading->awaiting};
        }
        case FeedMode::live: {
            resetPaired();
            // Quiet agents leave the water at rest rather than drain it.
            const LiveDemandReading& reading = live_.reading();
            double level =
                reading.isQuiet() ? std::max(reading.y, resting) : std::max(reading.y, 0.0);
            return {.level = level, .activity = reading.x, .awaiting = reading.awaiting};
        }
        case FeedMode::ambient:
            break;
    }
    resetPaired();
    return {.level = resting, .activity = 0, .awaiting = 0};
}

void FloodmarkFeed::resetPaired() {
    pairedSeverity_ = -1;
    pairedStyle_ = SaverStyle::standard;
    pairedDepth_ = 0;
    pairedSustain_ = absentSustain();
}

std::optional<std::string> FloodmarkFeed::message(long long awaiting, double now) const {
    if (settings_.preview && mode_ != FeedMode::paired) {
        return std::string(AwayMessages::previewNote);
    }
    return AwayMessages::line(easedY_, awaiting, now - epoch_);
}

void FloodmarkFeed::spawnImpulse(ImpulseKind kind, double now) {
    if (kind.isPop()) {
        // A pop rises where the surface activity stands when the impulse arrives.
        pops_.push_back({.born = now, .position = std::clamp(easedX_, 0.04, 0.98)});
        return;
    }
    // A 64-bit linear congruential step (Knuth's MMIX constants); the upper half places it.
    rippleSeed_ = rippleSeed_ * 6364136223846793005ULL + 1442695040888963407ULL;
    double position = static_cast<double>(rippleSeed_ >> 32) / 4294967295.0;
    ripples_.push_back({.born = now, .position = std::clamp(position, 0.05, 0.95)});
}

void FloodmarkFeed::consumeImpulse(ImpulseKind kind, double at, double now) {
    if (lastImpulseAt_ == at) {
        return;
    }
    lastImpulseAt_ = at;
    if (now - at <= impulseFreshness) {
        spawnImpulse(kind, now);
    }
}

}  // namespace floodmark
