#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

#include <functional>
#include <vector>

namespace floodmark {

// Pops: where a session ended, a small dome on the surface that holds, then collapses while a
// ring spreads under the surface.
namespace PopRenderer {

struct Arc {
    double radius;
    double alpha;
    bool upper;  // the half above the centre; otherwise the half below
    bool operator==(const Arc&) const = default;
};

double radius(double height);
// The arcs of a pop of `age` (a share of its life), at most two.
std::vector<Arc> arcs(double age, double radius);
void draw(const std::vector<SurfaceMark>& pops, DrawingContext& context, Size size, Color tint,
          double lineWidth, const std::function<double(double)>& surfaceY);

}  // namespace PopRenderer

}  // namespace floodmark
