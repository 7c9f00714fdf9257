#pragma once

#include "FloodmarkSaver/live/LiveEvent.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// One accepted signal line of an agent hook.
struct LiveSignal {
    std::string tool;     // never empty
    std::string session;  // never empty
    LiveEvent event;
    std::optional<std::string> sizeBucket;
    std::optional<std::int64_t> backgroundTasks;  // never negative
    std::optional<std::string> errorKind;         // only on `halted`: a StoppedKind
    std::optional<double> resumesAt;              // only with a rate-limit error kind
    std::optional<std::int64_t> pid;              // at least 2

    // The farthest future `resumesAt` that is believed, and the grace added to it.
    static constexpr double resumeHorizon = 21660;
    static constexpr double resumeGrace = 180;
    // How long a stop that left background tasks still counts as working.
    static constexpr double backgroundTrust = 3600;
    // A longer tool or session makes a line no signal; a longer size bucket is absent.
    static constexpr std::size_t maxTextBytes = 256;

    static std::optional<LiveSignal> tryParse(std::string_view line);
    static std::optional<std::string> pingSession(std::string_view line);
    static bool namesUnknownEvent(std::string_view line);

    // The same, over a line already parsed as JSON.
    static std::optional<LiveSignal> fromJson(const nlohmann::json& object);
    static std::optional<std::string> pingSessionOf(const nlohmann::json& object);
    static bool namesUnknownEventIn(const nlohmann::json& object);
    // A signal of a known event but a tool or session past maxTextBytes: dropped, and counted.
    static bool namesOverlongTextIn(const nlohmann::json& object);

    // The aggregator's session key: one agent process of a tool shares one, whatever its
    // session strings say.
    std::string streamKey() const;
    bool leftBackgroundWork() const;
    std::optional<double> resumeHoldUntil(double now) const;

    bool operator==(const LiveSignal&) const = default;
};

}  // namespace floodmark
