#pragma once

#include "FloodmarkSaver/frame/ImpulseKind.h"

#include <optional>
#include <string>

namespace floodmark {

// The demand aggregator's output for one tick.
struct LiveDemandReading {
    double y = 0;                        // normalised load, 0…0.95
    double x = 0;                        // normalised concurrency, 0…0.9
    std::optional<ImpulseKind> impulse;  // at most one per reading
    long long awaiting = 0;              // sessions waiting for the user
    std::optional<std::string> stopped;  // a StoppedKind while a stopped-short hold lasts

    bool isQuiet() const { return y <= 0.001 && x <= 0.001; }

    bool operator==(const LiveDemandReading&) const = default;
};

}  // namespace floodmark
