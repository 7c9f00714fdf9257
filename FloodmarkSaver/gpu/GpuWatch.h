#pragma once

#include <optional>

namespace floodmark {

// Watches whether GPU draws are presented, and gives the GPU path up, once, after draws over
// `patience` seconds have all presented nothing.
struct GpuWatch {
    static constexpr double patience = 2;

    bool fellBack = false;
    std::optional<double> missingSince;  // start of the current run of misses

    // True exactly when this call gives the GPU path up.
    bool record(bool presented, double now);
    void reset() { *this = {}; }
};

}  // namespace floodmark
