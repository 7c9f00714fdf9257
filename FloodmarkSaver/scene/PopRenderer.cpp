#include "FloodmarkSaver/scene/PopRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::PopRenderer {

namespace {
// The dome stands unchanged for this share of the pop's life, then collapses.
constexpr double holdShare = 0.35;
}  // namespace

double radius(double height) {
    return std::max(0.011 * height, 7.0);
}

std::vector<Arc> arcs(double age, double radius) {
    if (age < holdShare) {
        return {{radius, 0.5, true}};
    }
    double a = std::min(age, 1.0);
    double d = (a - holdShare) / (1 - holdShare);
    double remaining = 1 - std::clamp(d, 0.0, 1.0);
    double e = 1 - remaining * remaining;  // an ease-out of d
    std::vector<Arc> result;
    if (e < 0.98) {
        result.push_back({radius * (1 - e), 0.5 * (1 - d), true});
    }
    result.push_back({radius * (2.2 * e + 0.6), 0.34 * (1 - d), false});
    return result;
}

void draw(const std::vector<SurfaceMark>& pops, DrawingContext& context, Size size, Color tint,
          double lineWidth, const std::function<double(double)>& surfaceY) {
    if (pops.empty()) {
        return;
    }
    context.setLineWidth(std::max(0.8 * lineWidth, 1.0));
    context.setRoundLines();
    double baseRadius = radius(size.height);
    for (const auto& pop : pops) {
        double x = size.width * pop.position;
        Point centre{x, surfaceY(x)};
        for (const auto& arc : arcs(pop.age, baseRadius)) {
            context.setStrokeColor(tint.withAlpha(arc.alpha));
            Path path;
            double start = arc.upper ? 0 : std::numbers::pi;
            path.arc(centre, arc.radius, start, start + std::numbers::pi);
            context.strokePath(path);
        }
    }
}

}  // namespace floodmark::PopRenderer
