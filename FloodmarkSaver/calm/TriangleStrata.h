#pragma once

#include "platform/draw/DrawingContext.h"

#include <array>
#include <cstdint>

namespace floodmark {

// Three layers of small turning triangles scattered over a rectangle; the top layer flares in
// every burst.
namespace TriangleStrata {

struct Layer {
    int count;
    double sizeMin;  // circumradius, points
    double sizeMax;
    double alpha;
    bool filled;
    double driftRate;  // wobble turns per burst period; the sign sets the direction
    std::uint64_t salt;
};

inline constexpr std::array<Layer, 3> layers{{
    {46, 3, 7, 0.10, true, 0.25, 101},
    {24, 8, 16, 0.14, false, -0.5, 202},
    {10, 18, 34, 0.18, true, 1.0, 303},
}};

void draw(DrawingContext& context, Rect rect, double time, double level, double depth,
          bool reduceMotion);

}  // namespace TriangleStrata

}  // namespace floodmark
