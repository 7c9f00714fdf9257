#include "FloodmarkSaver/calm/RoseWindow.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/calm/FiveFold.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::RoseWindow {

namespace {

constexpr double pi = std::numbers::pi;

double factor(const std::optional<double>& value) {
    return value ? 0.3 + 0.7 * *value : 0.65;
}

double wobble(int position, double phase, double time) {
    double period = CalmClock::breathPeriod * (position % 2 == 1 ? 3 : 2);
    return 1 + 0.04 * std::sin(phase + 1.256 * position + 2 * pi * time / period);
}

}  // namespace

Setup setup(const FloodmarkFrame& frame) {
    auto [time, burst] = CalmClock::moment(frame.time, frame.reduceMotion);
    return {
        .time = time,
        .burst = burst,
        .level = std::clamp(frame.y, 0.0, 1.0),
        .values = frame.sustain.size() == 5 ? frame.sustain : absentSustain(),
    };
}

void drawSectors(DrawingContext& context, Size size, double time,
                 const std::function<void(double radius)>& drawCell) {
    context.save();
    context.translate(size.width / 2, size.height / 2);
    context.rotate(2 * pi * time / (4 * CalmClock::burstPeriod));
    // Past the corners of the view.
    double radius = 1.02 * std::hypot(size.width, size.height) / 2;
    drawFiveFold(context, [&] { drawCell(radius); });
    context.restore();
}

double ringFill(int ring, double level) {
    return std::clamp((1.15 * level - ring / 5.0) * 5, 0.0, 1.0);
}

double ringAlpha(int ring) {
    return 0.7 + 0.3 * (1 - ring / 5.0);
}

Point boundaryPoint(int position, int boundary, double radius, const SustainSeries& values,
                    double time) {
    double rho = radius * boundary / 5 * factor(values[static_cast<std::size_t>(position)]) *
                 wobble(position, 0.4 * (boundary - 1), time);
    return {std::sin(2 * pi * position / 5) * rho, std::cos(2 * pi * position / 5) * rho};
}

bool bothPresent(const SustainSeries& values, int position) {
    return values[static_cast<std::size_t>(position)] &&
           values[static_cast<std::size_t>((position + 1) % 5)];
}

Color cellColour(const SustainSeries& values, int position, int colourIndex, int exciteIndex,
                 double burst) {
    if (!bothPresent(values, position)) {
        return FloodmarkPalette::ink3;
    }
    Color colour = CalmPalette::seedB[static_cast<std::size_t>(colourIndex % 6)];
    if (burst > 0.01) {
        colour = CalmPalette::mixed(
            colour, CalmPalette::exciteB[static_cast<std::size_t>(exciteIndex % 3)], 0.5 * burst);
    }
    return colour;
}

}  // namespace floodmark::RoseWindow
