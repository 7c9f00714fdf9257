#include "FloodmarkSaver/calm/TriangleStrata.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmHash.h"
#include "FloodmarkSaver/calm/CalmPalette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::TriangleStrata {

namespace {

using CalmHash::frac;
using CalmHash::mix;
using CalmHash::unit;
constexpr double pi = std::numbers::pi;

Path triangle(double radius) {
    Path path;
    path.moveTo({0, radius});
    path.lineTo({0.866 * radius, -0.5 * radius});
    path.lineTo({-0.866 * radius, -0.5 * radius});
    path.close();
    return path;
}

}  // namespace

void draw(DrawingContext& context, Rect rect, double frameTime, double level, double depth,
          bool reduceMotion) {
    if (!(rect.width > 1) || !(rect.height > 1)) {
        return;
    }
    const auto [time, burst] = CalmClock::moment(frameTime, reduceMotion);
    const double levelFactor = CalmClock::levelFactor(level);
    const double flareFactor = 0.6 + 1.4 * burst;

    for (std::size_t index = 0; index < layers.size(); ++index) {
        const Layer& layer = layers[index];
        const int number = static_cast<int>(index) + 1;
        const double amplitude = 0.02 * number;
        const double layerAlpha = levelFactor * layer.alpha;
        const double sign = layer.driftRate < 0 ? -1 : 1;
        const double rate = std::fabs(layer.driftRate);
        const double period = CalmClock::burstPeriod / (rate > 0.001 ? rate : 0.001);
        const bool flaring = burst > 0.01 && number == 3;

        std::uint64_t u = layer.salt + CalmHash::golden;
        std::uint64_t v = u + 1;
        for (int i = 0; i < layer.count; ++i) {
            double d = unit(v + 2);
            double b = time / period;
            double s1 = std::sin(2 * pi * (d + b));
            double c1 = std::cos(2 * pi * (1.7 * d + b));

            bool flares = flaring && i % 5 == 0;
            Color colour = flares ? CalmPalette::exciteA[static_cast<std::size_t>(i % 4)]
                                  : CalmPalette::seedA[mix(u) % 6];
            colour = CalmPalette::deepened(colour, layerAlpha * (flares ? flareFactor : 1), depth);

            context.save();
            context.translate(
                rect.x + rect.width * frac(unit(v) + amplitude * sign * s1),
                rect.y + rect.height * frac(unit(v + 1) + amplitude * sign * 0.6 * c1));
            context.rotate(2 * pi * d + sign * 2 * pi * time / (2 * CalmClock::burstPeriod));
            Path shape = triangle(layer.sizeMin + (layer.sizeMax - layer.sizeMin) * unit(v + 3));
            if (layer.filled) {
                context.setFillColor(colour);
                context.fillPath(shape);
            } else {
                context.setStrokeColor(colour);
                context.setLineWidth(1);
                context.strokePath(shape);
            }
            context.restore();
            u += 13;
            v += 31;
        }
    }
}

}  // namespace floodmark::TriangleStrata
