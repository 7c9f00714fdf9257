#include "FloodmarkSaver/calm/SplinterRenderer.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmHash.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/calm/RoseWindow.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace floodmark::SplinterRenderer {

namespace {

constexpr double pi = std::numbers::pi;
using Triangle = std::array<Point, 3>;

double smoothstep(double a) {
    a = std::clamp(a, 0.0, 1.0);
    return a * a * (3 - 2 * a);
}

// Shard `number` thrown out by `flight`: its own direction, distance, spin and size, new in
// every cycle.
Triangle thrown(const Triangle& shard, std::uint64_t number, double flight, double radius,
                std::uint64_t cycle) {
    using CalmHash::unit;
    std::uint64_t state = cycle * 1000003ULL + 97 * number + CalmHash::golden + 1;
    Point centre{(shard[0].x + shard[1].x + shard[2].x) / 3,
                 (shard[0].y + shard[1].y + shard[2].y) / 3};
    double bearing = std::atan2(centre.x, centre.y);
    double direction = bearing + 1.6 * (unit(state) - 0.5);
    double distance = flight * radius * (0.15 + 0.45 * unit(state + 1));
    Point offset{std::sin(direction) * distance, std::cos(direction) * distance};
    double spin = flight * 2 * pi * (unit(state + 2) - 0.5);
    double scale = 1 + flight * 0.8 * (unit(state + 3) - 0.35);
    Triangle moved;
    for (std::size_t i = 0; i < 3; ++i) {
        double x = (shard[i].x - centre.x) * scale;
        double y = (shard[i].y - centre.y) * scale;
        moved[i] = {centre.x + offset.x + x * std::cos(spin) - y * std::sin(spin),
                    centre.y + offset.y + x * std::sin(spin) + y * std::cos(spin)};
    }
    return moved;
}

}  // namespace

double flight(double phase) {
    if (phase < 0.35) {
        return 0;
    }
    if (phase < 0.5) {
        return smoothstep((phase - 0.35) / 0.15);
    }
    if (phase < 0.8) {
        return 1;
    }
    if (phase < 0.95) {
        return 1 - smoothstep((phase - 0.8) / 0.15);
    }
    return 0;
}

void draw(const FloodmarkFrame& frame, DrawingContext& context, Size size) {
    RoseWindow::Setup setup = RoseWindow::setup(frame);
    double out = 0;
    std::uint64_t cycle = 0;
    if (!frame.reduceMotion) {
        out = flight(std::fmod(setup.time, CalmClock::burstPeriod) / CalmClock::burstPeriod);
        double periods = std::floor(setup.time / CalmClock::burstPeriod);
        cycle = periods > 0 ? static_cast<std::uint64_t>(std::min(periods, 1e18)) : 0;
    }
    RoseWindow::drawSectors(context, size, setup.time, [&](double radius) {
        drawCell(context, radius, setup.time, setup.values, setup.level, frame.depth, setup.burst,
                 out, cycle);
    });
}

void drawCell(DrawingContext& context, double radius, double time, const SustainSeries& values,
              double level, double depth, double burst, double flight, std::uint64_t cycle) {
    using namespace RoseWindow;
    context.setLineWidth(std::max(0.0012 * radius, 0.8));
    context.setRoundLines();
    std::uint64_t number = 0;
    for (int ring = 0; ring < 5; ++ring) {
        double fill = ringFill(ring, level);
        for (int j = 0; j < 5; ++j) {
            int next = (j + 1) % 5;
            bool present = bothPresent(values, j);
            Point innerJ = boundaryPoint(j, ring, radius, values, time);
            Point innerNext = boundaryPoint(next, ring, radius, values, time);
            Point outerJ = boundaryPoint(j, ring + 1, radius, values, time);
            Point outerNext = boundaryPoint(next, ring + 1, radius, values, time);
            const std::array<Triangle, 2> shards{
                {{innerJ, innerNext, outerNext}, {innerJ, outerNext, outerJ}}};
            for (int half = 0; half < 2; ++half) {
                ++number;
                Triangle shard = shards[static_cast<std::size_t>(half)];
                if (flight > 0.001) {
                    shard = thrown(shard, number, flight, radius, cycle);
                }
                Color colour = cellColour(values, j, j + ring + half, j + ring, burst);
                Path path;
                path.moveTo(shard[0]);
                path.lineTo(shard[1]);
                path.lineTo(shard[2]);
                path.close();
                if (fill > 0.01) {
                    double base =
                        (1 - 0.35 * flight) * ringAlpha(ring) * fill * (present ? 0.42 : 0.1);
                    context.setFillColor(CalmPalette::deepened(colour, base, depth));
                    context.fillPath(path);
                }
                double strokeBase = (0.65 + 0.35 * (1 - flight)) * (present ? 0.45 : 0.2);
                context.setStrokeColor(CalmPalette::deepened(colour, strokeBase, depth));
                context.strokePath(path);
            }
        }
    }
}

}  // namespace floodmark::SplinterRenderer
