#pragma once

#include "FloodmarkSaver/frame/SaverStyle.h"

#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// A ripple or pop on the surface: `age` is the share of its life already spent (0…1),
// `position` the place on the surface as a share of the width from the left.
struct SurfaceMark {
    double age = 0;
    double position = 0;

    bool operator==(const SurfaceMark&) const = default;
};

// The sustain series of the away-state file; five absent values when not paired.
using SustainSeries = std::vector<std::optional<double>>;
SustainSeries absentSustain();

// The per-frame scene record: built by the feed step, only read by everything that draws.
// Levels are carried unclamped; consumers clamp to 0…1.
struct FloodmarkFrame {
    double y = 0;
    double x = 0;
    int severity = -1;  // −1: no state tint
    SaverStyle style = SaverStyle::standard;
    double time = 0;  // seconds since the feed's epoch
    std::vector<SurfaceMark> ripples{};
    std::vector<SurfaceMark> pops{};
    std::string clock{};
    std::optional<std::string> message{};
    double chromeAlpha = 1;  // the overlay is not drawn at or below chromeInvisibleBelow
    bool reduceMotion = false;
    double depth = 0;
    SustainSeries sustain = absentSustain();

    static constexpr double chromeInvisibleBelow = 0.01;

    // The water at rest, with nothing on its surface.
    static FloodmarkFrame resting();

    bool operator==(const FloodmarkFrame&) const = default;
};

}  // namespace floodmark
