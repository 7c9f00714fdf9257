#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/draw/CairoCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace floodmark {
namespace {

// The glow over the canvas at 1920×1080, worked out in floating point from the scene's
// colours (canvas 22, 23, 25; glow 33, 35, 39 at alpha 0.55 in the bottom centre, none at
// 0.75 × 1920 = 1440 pixels out), in levels of 0…255.
constexpr int width = 1920;
constexpr int height = 1080;
constexpr double canvasLevels[3] = {22, 23, 25};
constexpr double glowLevels[3] = {33, 35, 39};

double exactLevel(int channel, int column, int row) {
    double dx = column + 0.5 - width / 2.0;
    double dy = height - (row + 0.5);
    double t = std::hypot(dx, dy) / 1440;
    double alpha = t < 1 ? 0.55 * (1 - t) : 0;
    return canvasLevels[channel] + (glowLevels[channel] - canvasLevels[channel]) * alpha;
}

// A radius of the glow as a run of pixels: along the bottom row to the right, or up the
// middle column; only out to 0.9 of the glow, where the levels still change.
struct Radius {
    const char* name;
    int column, row, stepColumn, stepRow, length;
};
const Radius radii[] = {
    {"along the bottom row", width / 2, height - 1, 1, 0, width / 2},
    {"up the middle column", width / 2, height - 1, 0, -1, height},
};

int longestRun(const CairoCanvas& picture, const Radius& radius) {
    int longest = 0, run = 0;
    std::array<std::uint8_t, 4> last{};
    for (int i = 0; i < radius.length; ++i) {
        auto pixel =
            picture.pixel(radius.column + i * radius.stepColumn, radius.row + i * radius.stepRow);
        run = (i > 0 && pixel == last) ? run + 1 : 1;
        last = pixel;
        longest = std::max(longest, run);
    }
    return longest;
}

// The largest difference, in levels, between a 32×32 box's mean and the exact gradient's,
// over the boxes that the radius passes through.
double worstBoxMean(const CairoCanvas& picture, const Radius& radius) {
    double worst = 0;
    for (int i = 0; i + 32 <= radius.length; i += 32) {
        // Along the bottom row the boxes sit on it; up the column they straddle it.
        int left = radius.stepColumn != 0 ? radius.column + i : radius.column - 16;
        int top = radius.stepRow != 0 ? radius.row - i - 31 : height - 32;
        for (int channel = 0; channel < 3; ++channel) {
            double drawn = 0, exact = 0;
            for (int row = top; row < top + 32; ++row) {
                for (int column = left; column < left + 32; ++column) {
                    drawn += picture.pixel(column, row)[channel];
                    exact += exactLevel(channel, column, row);
                }
            }
            worst = std::max(worst, std::fabs(drawn - exact) / 1024);
        }
    }
    return worst;
}

void paintGround(CairoCanvas& canvas, bool dither) {
    canvas.draw([&](DrawingContext& context) {
        context.setFillColor(Color::fromBytes(22, 23, 25));
        context.fillRect({0, 0, width, height});
        context.setGradientDither(dither);
        Color glow = Color::fromBytes(33, 35, 39);
        context.drawRadialGradient(glow.withAlpha(0.55), glow.withAlpha(0), {width / 2.0, 0}, 0,
                                   {width / 2.0, 0}, 1440, false);
    });
}

TEST(GlowBanding, TheDitheredGlowFollowsTheExactGradientWithoutRings) {
    CairoCanvas plain({width, height}, 1);
    paintGround(plain, false);
    CairoCanvas scene({width, height}, 1);
    scene.draw([](DrawingContext& context) {
        FloodmarkRenderer::drawScene(FloodmarkFrame{.y = 0}, context, {width, height});
    });
    for (const Radius& radius : radii) {
        // Quantised without a dither the glow is rings: one colour for tens of pixels.
        EXPECT_GT(longestRun(plain, radius), 30) << radius.name;
        int length = static_cast<int>(0.9 * std::min(radius.length, 1440));
        Radius inner = radius;
        inner.length = std::min(radius.length, length);
        EXPECT_LE(longestRun(scene, inner), 8) << radius.name;
        EXPECT_LE(worstBoxMean(scene, inner), 0.25) << radius.name;
    }
}

}  // namespace
}  // namespace floodmark
