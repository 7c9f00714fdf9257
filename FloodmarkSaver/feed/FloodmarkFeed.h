#pragma once

#include "FloodmarkSaver/feed/CalibrationKeeper.h"
#include "FloodmarkSaver/frame/FeedMode.h"
#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "FloodmarkSaver/frame/ImpulseKind.h"
#include "FloodmarkSaver/feed/LiveConnection.h"
#include "FloodmarkSaver/frame/SaverStyle.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "FloodmarkSaver/paired/PairedState.h"
#include "platform/kit/Time.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

class SaverStatus;

// The object behind the water: decides which source drives it (the companion's away-state
// file, the live socket, or nothing), owns the socket while it may and can, and turns the
// source into one frame per tick. Used on the main thread only; the socket's callbacks are
// moved there before they touch anything.
class FloodmarkFeed : public std::enable_shared_from_this<FloodmarkFeed> {
public:
    struct Settings {
        std::string statePath = PairedState::defaultPath();
        std::string socketPath = defaultSocketPath();
        std::string calibrationPath = defaultCalibrationPath();
        // A preview feed never binds the socket and shows the preview note unless paired.
        bool preview = false;
        std::shared_ptr<SaverStatus> status;
        // The feed's clock: when signals arrive, when it starts and stops. A simulated run
        // gives its own, so that signals and steps keep one time.
        std::function<double()> clock = currentTime;
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
    // Least times between two arbitrations, aggregator ticks, away-state reads and binds.
    static constexpr double arbitrationInterval = 1;
    static constexpr double aggregatorTickInterval = 0.25;
    static constexpr double pairedRereadInterval = 0.25;
    static constexpr double bindRetryInterval = 15;
    // While the feed owns the socket it keeps what it learned this often, so that a crash
    // or a kill loses no more.
    static constexpr double calibrationSaveInterval = 600;
    // A paired impulse older than this is consumed without showing.
    static constexpr double impulseFreshness = 2;
    static constexpr std::uint64_t initialRippleSeed = 0x9E3779B97F4A7C15ULL;
    // A larger calibration file restores as empty.
    static constexpr std::size_t maxCalibrationBytes = 1 << 20;

    // calibration.json in the application directory.
    static const std::string& defaultCalibrationPath();
    // The live socket of the user's home directory.
    static const std::string& defaultSocketPath();

    // A surface mark as the feed keeps it: when it was born and where.
    struct Mark {
        double born;
        double position;
    };

    // Restores the calibration; binds nothing and writes nothing.
    FloodmarkFeed(Settings settings, double now);
    ~FloodmarkFeed();
    FloodmarkFeed(const FloodmarkFeed&) = delete;
    FloodmarkFeed& operator=(const FloodmarkFeed&) = delete;

    // Allows binding the socket and tries at once.
    void start();
    // Gives the socket up, writes the calibration and forbids binding.
    void stop();

    FloodmarkFrame step(double now, bool reduceMotion);

    // Adds one pop (for a pop kind) or one ripple born at `now`.
    void spawnImpulse(ImpulseKind kind, double now);
    // Shows an impulse stamped `at` once; one older than impulseFreshness only marks it seen.
    void consumeImpulse(ImpulseKind kind, double at, double now);

    FeedMode mode() const { return mode_; }
    bool ownsBus() const { return live_.ownsBus(); }
    // Steps toward the socket owner's published reading, as a saver of another monitor.
    bool isFollowing() const { return live_.isFollowing(); }
    bool isPreview() const { return settings_.preview; }
    bool mayBind() const { return live_.mayBind(); }
    double epoch() const { return epoch_; }
    const Settings& settings() const { return settings_; }
    const LiveDemandAggregator& aggregator() const { return *aggregator_; }
    const std::vector<Mark>& ripples() const { return ripples_; }
    const std::vector<Mark>& pops() const { return pops_; }

private:
    struct Targets {
        double level;
        double activity;
        long long awaiting;
    };

    void arbitrate(double now);
    const std::optional<PairedState>& pairedReading(double now);
    void report(double now);
    void ease(const Targets& target, double now);
    FloodmarkFrame frame(const Targets& target, double now, bool reduceMotion);

    Targets targets(double now);
    void resetPaired();
    std::optional<std::string> message(long long awaiting, double now) const;

    Settings settings_;
    FeedMode mode_ = FeedMode::ambient;
    CalibrationKeeper calibration_;
    std::shared_ptr<LiveDemandAggregator> aggregator_;
    LiveConnection live_;

    double lastArbitration_ = distantPast;
    double pairedReadAt_ = distantPast;
    std::optional<PairedState> pairedCache_;

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
