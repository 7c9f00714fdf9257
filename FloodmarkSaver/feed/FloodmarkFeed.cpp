#include "FloodmarkSaver/feed/FloodmarkFeed.h"

#include "FloodmarkSaver/feed/AwayMessages.h"
#include "FloodmarkSaver/feed/Easing.h"
#include "FloodmarkSaver/scene/FloodmarkRendererLevels.h"
#include "platform/kit/ShortTimeText.h"

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

FloodmarkFeed::FloodmarkFeed(Settings settings, double now)
    : settings_(std::move(settings)), epoch_(now) {}

void FloodmarkFeed::start() { mayBind_ = true; }

void FloodmarkFeed::stop() { mayBind_ = false; }

FloodmarkFrame FloodmarkFeed::step(double now, bool reduceMotion) {
    Targets target = targets();

    if (lastStepAt_) {
        double dt = now - *lastStepAt_;
        easedY_ = easeToward(easedY_, target.level, dt, riseTau, fallTau);
        easedX_ = easeToward(easedX_, target.activity, dt, runRiseTau, runFallTau);
    } else {
        easedY_ = target.level;
        easedX_ = target.activity;
    }
    lastStepAt_ = now;

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

FloodmarkFeed::Targets FloodmarkFeed::targets() {
    resetPaired();
    return {.level = FloodmarkRendererLevels::ambientResting, .activity = 0, .awaiting = 0};
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
