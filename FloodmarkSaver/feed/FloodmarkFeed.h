#pragma once

#include "FloodmarkSaver/feed/FeedMode.h"
#include "FloodmarkSaver/feed/FloodmarkFrame.h"
#include "FloodmarkSaver/feed/ImpulseKind.h"
#include "FloodmarkSaver/feed/SaverStyle.h"
#include "platform/kit/Time.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace floodmark {

// The object behind the water: picks the source that drives it and turns that source into one
// frame per tick. Used on the main thread only.
class FloodmarkFeed {
public:
    struct Settings {
        // A preview feed never binds the socket and shows the preview note unless paired.
        bool preview = false;
    };

    // Easing time constants, seconds.
    static constexpr double riseTau = 0.9;
    static constexpr double fallTau = 2.4;
    static constexpr double runRiseTau = 0.6;
    static constexpr double runFallTau = 0.8;
    // Lives of the surface marks, seconds.
    static constexpr double rippleLife = 1.4;
    static constexpr double popLife = 0.9;
    static constexpr double chromeYieldTau = 0.08;
    static constexpr double chromeInvisibleBelow = 0.01;
    // A paired impulse older than this is consumed without showing.
    static constexpr double impulseFreshness = 2;
    static constexpr std::uint64_t initialRippleSeed = 0x9E3779B97F4A7C15ULL;

    // A surface mark as the feed keeps it: when it was born and where.
    struct Mark {
        double born;
        double position;
    };

    FloodmarkFeed(Settings settings, double now);

    // Allows binding the live socket; stop() forbids it again.
    void start();
    void stop();

    FloodmarkFrame step(double now, bool reduceMotion);

    // Adds one pop (for a pop kind) or one ripple born at `now`.
    void spawnImpulse(ImpulseKind kind, double now);
    // Shows an impulse stamped `at` once; one older than impulseFreshness only marks it seen.
    void consumeImpulse(ImpulseKind kind, double at, double now);

    FeedMode mode() const { return mode_; }
    bool isPreview() const { return settings_.preview; }
    bool mayBind() const { return mayBind_; }
    double epoch() const { return epoch_; }
    const std::vector<Mark>& ripples() const { return ripples_; }
    const std::vector<Mark>& pops() const { return pops_; }

private:
    struct Targets {
        double level;
        double activity;
        long long awaiting;
    };

    Targets targets();
    void resetPaired();
    std::optional<std::string> message(long long awaiting, double now) const;

    Settings settings_;
    FeedMode mode_ = FeedMode::ambient;
    bool mayBind_ = false;

    int pairedSeverity_ = -1;
    SaverStyle pairedStyle_ = SaverStyle::standard;
    double pairedDepth_ = 0;
    SustainSeries pairedSustain_ = absentSustain();

    double easedY_ = 0;
    double easedX_ = 0;
    std::vector<Mark> ripples_;
    std::vector<Mark> pops_;
    std::uint64_t rippleSeed_ = initialRippleSeed;
    std::optional<double> lastImpulseAt_;
    std::optional<double> lastStepAt_;
    double epoch_;
};

}  // namespace floodmark
