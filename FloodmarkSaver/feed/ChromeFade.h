#pragma once

#include <optional>

namespace floodmark {

// One view's fade of its clock and message toward shown or hidden.
struct ChromeFade {
    double alpha = 1;
    std::optional<double> lastStepAt;

    // Eases toward 1 (visible) or 0 with FloodmarkFeed::chromeYieldTau; the first step snaps.
    double step(bool visible, double now);
};

}  // namespace floodmark
