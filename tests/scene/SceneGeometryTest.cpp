#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/PopRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace floodmark {
namespace {

namespace R = FloodmarkRenderer;

TEST(SceneGeometry, LengthsFollowTheHeightWithTheirFloors) {
    EXPECT_EQ(R::amplitude(300, false), 2);
    EXPECT_EQ(R::amplitude(1000, false), 4);
    EXPECT_EQ(R::amplitude(1000, true), 0);
    EXPECT_DOUBLE_EQ(R::waterTop(1, 1000), 920);
    EXPECT_EQ(R::waterTop(0, 1000), 0);
    EXPECT_EQ(R::glowHeight(300), 14);
    EXPECT_EQ(R::glowHeight(1000), 30);
    EXPECT_EQ(R::surfaceLineWidth(300), 1.5);
    EXPECT_EQ(R::surfaceLineWidth(1000), 2);
    EXPECT_EQ(R::rippleRadius(0, 300), 6);
    EXPECT_EQ(R::rippleRadius(0, 5000), 6);
    EXPECT_EQ(R::rippleRadius(1, 300), 30);
    EXPECT_EQ(R::rippleRadius(1, 1000), 56);
    EXPECT_EQ(R::surfaceSegments(200), 24);
    EXPECT_EQ(R::surfaceSegments(1600), 100);
    EXPECT_EQ(R::cornerText.size(), 15u);
}

TEST(SceneGeometry, TheSurfaceStaysWithinItsAmplitude) {
    EXPECT_EQ(R::surfaceY(100, 400, 50, 3, 0), 50);
    EXPECT_EQ(R::surfaceY(100, 0, 50, 3, 2), 50);
    EXPECT_DOUBLE_EQ(R::surfaceY(0, 400, 50, 0, 2), 50);
    double highest = 0;
    double lowest = 100;
    for (double time = 0; time < 40; time += 0.37) {
        for (double x = 0; x <= 400; x += 7) {
            double y = R::surfaceY(x, 400, 50, time, 2);
            highest = std::max(highest, y);
            lowest = std::min(lowest, y);
        }
    }
    EXPECT_LE(highest, 52);
    EXPECT_GE(lowest, 48);
    EXPECT_GT(highest - lowest, 3);  // it does move
}

TEST(SceneGeometry, TheSpeedBoundHoldsForEveryPoint) {
    EXPECT_EQ(R::surfaceSpeedBound(0), 0);
    double bound = R::surfaceSpeedBound(3);
    EXPECT_DOUBLE_EQ(bound, 3 * (2 * M_PI / 11 + 0.5 * 2 * M_PI / 17) / 1.5);
    double dt = 1e-4;
    for (double time = 0; time < 20; time += 0.5) {
        for (double x = 0; x <= 640; x += 10) {
            double speed =
                std::fabs(R::surfaceY(x, 640, 0, time + dt, 3) - R::surfaceY(x, 640, 0, time, 3)) /
                dt;
            EXPECT_LE(speed, bound + 1e-6);
        }
    }
}

TEST(FloodmarkPalette, StateTints) {
    struct Case {
        int severity;
        std::optional<Color> tint;
    };
    const Case cases[] = {
        {-2, std::nullopt},
        {-1, std::nullopt},
        {0, Color{0.663, 0.902, 0.42, 1}},
        {1, Color{0.463, 0.824, 0.537, 1}},
        {2, Color{0.373, 0.49, 0.322, 1}},
        {3, Color{1.0, 0.682, 0.0, 1}},
        {4, Color{0.941, 0.329, 0.027, 1}},
        {5, Color{0.941, 0.329, 0.027, 1}},
        {100, Color{0.941, 0.329, 0.027, 1}},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(FloodmarkPalette::stateTint(test.severity), test.tint) << test.severity;
    }
    EXPECT_EQ(FloodmarkPalette::waterTint(-1), FloodmarkPalette::ink2);
    EXPECT_EQ(FloodmarkPalette::waterTint(3), (Color{1.0, 0.682, 0.0, 1}));
    EXPECT_EQ(FloodmarkPalette::canvas, (Color{22 / 255.0, 23 / 255.0, 25 / 255.0, 1}));
}

TEST(PopRenderer, ArcsThroughAPopsLife) {
    const double r = 10;
    EXPECT_EQ(PopRenderer::arcs(0.2, r), (std::vector<PopRenderer::Arc>{{r, 0.5, true}}));
    EXPECT_EQ(PopRenderer::arcs(-1, r), (std::vector<PopRenderer::Arc>{{r, 0.5, true}}));
    auto start = PopRenderer::arcs(0.35, r);
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0], (PopRenderer::Arc{r, 0.5, true}));
    EXPECT_DOUBLE_EQ(start[1].radius, 0.6 * r);
    EXPECT_DOUBLE_EQ(start[1].alpha, 0.34);
    EXPECT_FALSE(start[1].upper);

    auto late = PopRenderer::arcs(0.9, r);
    double d = (0.9 - 0.35) / 0.65;
    double e = 1 - (1 - d) * (1 - d);
    ASSERT_EQ(late.size(), 2u);  // e is still below 0.98
    EXPECT_DOUBLE_EQ(late[0].radius, r * (1 - e));
    EXPECT_DOUBLE_EQ(late[1].radius, r * (2.2 * e + 0.6));
    EXPECT_EQ(PopRenderer::arcs(0.91, r).size(), 1u);

    auto end = PopRenderer::arcs(1.4, r);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_DOUBLE_EQ(end[0].radius, 2.8 * r);
    EXPECT_DOUBLE_EQ(end[0].alpha, 0);
    EXPECT_EQ(PopRenderer::radius(300), 7);
    EXPECT_DOUBLE_EQ(PopRenderer::radius(1000), 11);
}

}  // namespace
}  // namespace floodmark
