#include "FloodmarkSaver/calm/UnfoldRenderer.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/calm/FiveFold.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::UnfoldRenderer {

namespace {

constexpr double pi = std::numbers::pi;

double wobble(int point, double time) {
    double period = CalmClock::breathPeriod * (point % 2 == 1 ? 3 : 2);
    return std::sin(1.256 * point + 2 * pi * time / period);
}

double radiusFactor(const std::optional<double>& value) {
    return value ? 0.18 + 0.82 * *value : 0.59;
}

Point figurePoint(int point, double radius, const std::optional<double>& value, double time) {
    double r = radius * radiusFactor(value) * (1 + 0.04 * wobble(point, time));
    return {std::sin(2 * pi * point / 5) * r, std::cos(2 * pi * point / 5) * r};
}

struct Sizes {
    double radius;
    double segmentWidth;
    double spokeWidth;
    double dot;
};

void drawSector(DrawingContext& context, const Sizes& sizes, const SustainSeries& values,
                double time, double burst, double depth) {
    context.setLineWidth(sizes.spokeWidth);
    context.setStrokeColor(FloodmarkPalette::ink3.withAlpha(0.35));
    Path spoke;
    spoke.moveTo({0, 0});
    spoke.lineTo({0, sizes.radius});
    context.strokePath(spoke);

    for (int j = 0; j < 5; ++j) {
        int next = (j + 1) % 5;
        const auto& value = values[static_cast<std::size_t>(j)];
        const auto& nextValue = values[static_cast<std::size_t>(next)];
        Path segment;
        segment.moveTo(figurePoint(j, sizes.radius, value, time));
        segment.lineTo(figurePoint(next, sizes.radius, nextValue, time));
        if (!value || !nextValue) {
            context.setStrokeColor(CalmPalette::deepened(FloodmarkPalette::ink3, 0.28, depth));
            context.setLineWidth(sizes.spokeWidth);
        } else {
            Color colour = CalmPalette::seedB[static_cast<std::size_t>((j + 2) % 6)];
            if (burst > 0.01) {
                colour = CalmPalette::mixed(
                    colour, CalmPalette::exciteB[static_cast<std::size_t>(j % 3)], 0.6 * burst);
            }
            context.setStrokeColor(CalmPalette::deepened(colour, 0.65, depth));
            context.setLineWidth(sizes.segmentWidth);
        }
        context.setRoundLines();
        context.strokePath(segment);
        if (j == 0 && value) {
            double y =
                sizes.radius * radiusFactor(value) * (1 + 0.04 * std::sin(2 * pi * time / 22));
            context.setFillColor(CalmPalette::deepened(CalmPalette::seedB[2], 0.8, depth));
            context.fillEllipse({-sizes.dot / 2, y - sizes.dot / 2, sizes.dot, sizes.dot});
        }
    }
}

}  // namespace

void draw(DrawingContext& context, Size size, double frameTime, const SustainSeries& sustain,
          double depth, bool reduceMotion) {
    // Named copies rather than a structured binding: lambdas below capture them.
    const CalmClock::Moment moment = CalmClock::moment(frameTime, reduceMotion);
    const double time = moment.time;
    const double burst = moment.burst;
    const SustainSeries values = sustain.size() == 5 ? sustain : absentSustain();

    context.save();
    context.translate(0.5 * size.width, 0.78 * size.height);
    context.rotate(2 * pi * time / (4 * CalmClock::burstPeriod));
    double radius = 0.24 * std::min(size.width, size.height);
    double segmentWidth = std::max(0.008 * radius, 1.2);
    Sizes sizes{radius, segmentWidth, std::max(0.6 * segmentWidth, 0.8),
                std::max(0.014 * radius, 2.0)};
    drawFiveFold(context, [&] { drawSector(context, sizes, values, time, burst, depth); });
    context.restore();
}

}  // namespace floodmark::UnfoldRenderer
