#include "FloodmarkSaver/scene/SceneDamage.h"

#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/PopRenderer.h"

#include <algorithm>

namespace floodmark::SceneDamage {

namespace {

// Below this level no water is drawn.
constexpr double invisibleLevel = 0.001;

struct Band {
    double bottom = 0;
    double top = 0;
    bool empty = true;
};

double levelOf(const FloodmarkFrame& frame) {
    return std::clamp(frame.y, 0.0, 1.0);
}

bool drawsWater(const FloodmarkFrame& frame) {
    return levelOf(frame) > invisibleLevel && !frame.style.isFullBleed();
}

// The rows a frame's surface, its glow and its marks cover.
Band surfaceBand(const FloodmarkFrame& frame, Size size) {
    if (!drawsWater(frame)) {
        return {};
    }
    const double h = size.height;
    const double amp = FloodmarkRenderer::amplitude(h, frame.reduceMotion);
    const double rest = FloodmarkRenderer::waterTop(levelOf(frame), h);
    const double lineWidth = FloodmarkRenderer::surfaceLineWidth(h);
    double above = FloodmarkRenderer::glowHeight(h);
    double below = 0;
    for (const auto& ripple : frame.ripples) {
        above =
            std::max(above, FloodmarkRenderer::rippleRadius(std::clamp(ripple.age, 0.0, 1.0), h));
    }
    const double popRadius = PopRenderer::radius(h);
    for (const auto& pop : frame.pops) {
        for (const auto& arc : PopRenderer::arcs(pop.age, popRadius)) {
            (arc.upper ? above : below) = std::max(arc.upper ? above : below, arc.radius);
        }
    }
    // Half a stroke and a pixel of anti-aliasing, at any scale of at least one pixel a point.
    const double margin = lineWidth + 2;
    return {rest - amp - below - margin, rest + amp + above + margin, false};
}

}  // namespace

std::optional<Rect> between(const FloodmarkFrame& drawn, const FloodmarkFrame& next, Size size) {
    if (drawn.style != next.style || drawn.style.isCalm() || next.style.isCalm() ||
        drawn.severity != next.severity || drawn.reduceMotion != next.reduceMotion) {
        return std::nullopt;
    }
    Band before = surfaceBand(drawn, size);
    Band after = surfaceBand(next, size);
    if (before.empty && after.empty) {
        return Rect{};
    }
    double bottom = std::min(before.empty ? after.bottom : before.bottom,
                             after.empty ? before.bottom : after.bottom);
    double top =
        std::max(before.empty ? after.top : before.top, after.empty ? before.top : after.top);
    // The body's gradient spans from its highest crest to the floor: a level that moved
    // changes all of it.
    if (drawsWater(drawn) != drawsWater(next) || levelOf(drawn) != levelOf(next)) {
        bottom = 0;
    }
    bottom = std::max(bottom, 0.0);
    top = std::min(top, size.height);
    if (!(top > bottom)) {
        return Rect{};
    }
    return Rect{0, bottom, size.width, top - bottom};
}

Rect chromeText(Size size) {
    const double h = size.height;
    const double m = std::min(size.width, h);
    const double clockBaseline = 0.78 * h;
    const double clockSize = m * 0.11;
    const double messageBaseline = clockBaseline + 0.135 * m;
    const double messageSize = m * 0.021;
    // Generous ascents and descents of either face.
    double bottom = std::max(clockBaseline - 0.4 * clockSize, 0.0);
    double top =
        std::min(std::max(clockBaseline + 1.2 * clockSize, messageBaseline + 1.2 * messageSize), h);
    return Rect{0, bottom, size.width, std::max(top - bottom, 0.0)};
}

}  // namespace floodmark::SceneDamage
