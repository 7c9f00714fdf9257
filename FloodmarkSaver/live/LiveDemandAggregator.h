#pragma once

#include "FloodmarkSaver/live/LiveDemandCalibration.h"
#include "FloodmarkSaver/live/LiveDemandReading.h"
#include "FloodmarkSaver/live/LiveSignal.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace floodmark {

// Turns the stream of live signals into one demand reading per tick: one decaying envelope per
// agent stream, normalised against the learned calibration. Main thread only.
class LiveDemandAggregator {
public:
    // Seconds.
    static constexpr double staleAfter = 180;
    static constexpr double concurrencyWindow = 300;
    static constexpr double awaitingTtl = 1800;
    static constexpr double stoppedHold = 3600;

    explicit LiveDemandAggregator(std::shared_ptr<LiveDemandCalibration> calibration =
                                      std::make_shared<LiveDemandCalibration>());

    void ingest(const LiveSignal& signal, double now);
    // `elapsed` is the time since the previous tick; a negative or non-finite one counts as 0.
    LiveDemandReading tick(double now, double elapsed);

    std::size_t activeSessionCount() const { return sessions_.size(); }
    // At most this many sessions are kept; a new one beyond makes room (see ingest).
    static constexpr std::size_t maxSessions = 10000;
    // Sessions evicted to make room since the last call.
    long long takeEvictedSessions() { return std::exchange(evictedSessions_, 0); }
    const std::shared_ptr<LiveDemandCalibration>& calibration() const { return calibration_; }

    // The level a submitted prompt lifts its session to, by size bucket ("m" when unknown).
    static double attack(const std::optional<std::string>& sizeBucket);
    // Maps a ratio to its denominator onto 0…1: a steep start, then a straight run to 1.
    static double curve(double ratio);

private:
    struct Envelope {
        std::string tool;
        double level = 0;
        double lastEventAt = 0;
        bool settling = false;
        std::optional<double> awaitingSince;
        std::optional<double> backgroundUntil;
    };
    struct StoppedShort {
        std::string kind;
        double at;
        std::optional<double> holdUntil;
    };

    void ingestHalted(const LiveSignal& signal, double now);
    void makeRoomForSessions();

    std::shared_ptr<LiveDemandCalibration> calibration_;
    std::unordered_map<std::string, Envelope> sessions_;
    std::optional<ImpulseKind> pendingImpulse_;
    std::unordered_map<std::string, StoppedShort> stoppedShort_;
    long long evictedSessions_ = 0;
};

}  // namespace floodmark
