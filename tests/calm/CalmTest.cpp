#include "FloodmarkSaver/calm/BloomRenderer.h"
#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmField.h"
#include "FloodmarkSaver/calm/CalmHash.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/calm/MosaicRenderer.h"
#include "FloodmarkSaver/calm/RoseWindow.h"
#include "FloodmarkSaver/calm/SplinterRenderer.h"
#include "FloodmarkSaver/calm/TriangleStrata.h"
#include "FloodmarkSaver/calm/UnfoldRenderer.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/draw/CairoCanvas.h"
#include "support/Golden.h"
#include "support/RecordingContext.h"

#include <gtest/gtest.h>

#include <cmath>

namespace floodmark {
namespace {

TEST(CalmField, TheParticleTableIsTheSameEverywhere) {
    const auto& table = CalmField::particles();
    ASSERT_EQ(table.size(), 220u);
    EXPECT_EQ(table[0].kind, CalmField::Particle::Kind::dust);
    EXPECT_EQ(table[0].colorIndex, 1);
    EXPECT_EQ(table[0].ux, CalmHash::unit(0x9E3779B97F4A7C16ULL));
    int stars = 0;
    std::vector<std::size_t> flaring;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].kind == CalmField::Particle::Kind::star) {
            ++stars;
            EXPECT_GE(table[i].size, 2);
            EXPECT_LE(table[i].size, 3);
            if (i % 17 == 0) {
                flaring.push_back(i);
            }
        } else {
            EXPECT_GE(table[i].size, 1);
            EXPECT_LE(table[i].size, 2);
        }
    }
    EXPECT_EQ(stars, 39);
    EXPECT_EQ(flaring, std::vector<std::size_t>{136});
    EXPECT_EQ(&CalmField::particles(), &table);
}

TEST(CalmClock, BreathAndBurstAtTheirKeyTimes) {
    EXPECT_DOUBLE_EQ(CalmClock::breath(0), 0);
    EXPECT_DOUBLE_EQ(CalmClock::breath(5.5), 1);
    EXPECT_NEAR(CalmClock::breath(11), 0, 1e-12);
    EXPECT_DOUBLE_EQ(CalmClock::burst(33), 1);
    EXPECT_DOUBLE_EQ(CalmClock::burst(99), 1);
    EXPECT_EQ(CalmClock::burst(0), 0);
    EXPECT_NEAR(CalmClock::burst(27.5), 0, 1e-12);
    EXPECT_NEAR(CalmClock::burst(38.5), 0, 1e-12);
    EXPECT_EQ(CalmClock::burst(20), 0);
    EXPECT_NEAR(CalmClock::burst(30.25), 0.5, 1e-12);
    EXPECT_GT(CalmClock::burst(28), 0);
}

TEST(CalmPalette, DepthDeepensFrom55PercentToFull) {
    Color colour = CalmPalette::seedB[0];
    EXPECT_DOUBLE_EQ(CalmPalette::deepened(colour, 0.8, 0).alpha, 0.55 * 0.8);
    EXPECT_DOUBLE_EQ(CalmPalette::deepened(colour, 0.8, -3).alpha, 0.55 * 0.8);
    EXPECT_DOUBLE_EQ(CalmPalette::deepened(colour, 0.8, 1).alpha, 0.8);
    EXPECT_DOUBLE_EQ(CalmPalette::deepened(colour, 0.8, 7).alpha, 0.8);
    EXPECT_EQ(CalmPalette::deepened(colour, 0.8, 1).withAlpha(1), colour);
}

TEST(Bloom, TickOffsetsComeFromTheirWeights) {
    std::vector<double> inhale{0, 1.1, 2.078, 2.934, 3.667, 4.278};
    std::vector<double> exhale{0, 0.917, 2.017, 3.3, 4.767};
    ASSERT_EQ(BloomRenderer::inhaleOffsets().size(), inhale.size());
    ASSERT_EQ(BloomRenderer::exhaleOffsets().size(), exhale.size());
    for (std::size_t i = 0; i < inhale.size(); ++i) {
        EXPECT_NEAR(BloomRenderer::inhaleOffsets()[i], inhale[i], 1e-9);
    }
    for (std::size_t i = 0; i < exhale.size(); ++i) {
        EXPECT_NEAR(BloomRenderer::exhaleOffsets()[i], exhale[i], 1e-9);
    }
}

TEST(Bloom, TheLiveRingBreathesAndTurns) {
    EXPECT_EQ(BloomRenderer::petals(0), (BloomRenderer::Petals{0.55, 0.4, 0}));
    auto full = BloomRenderer::petals(5.5);
    EXPECT_DOUBLE_EQ(full.scale, 1.8);
    EXPECT_DOUBLE_EQ(full.opacity, 0.85);
    EXPECT_NEAR(full.rotation, 0, 1e-12);
    EXPECT_NEAR(BloomRenderer::petals(5.4999).rotation, M_PI / 6, 1e-4);
}

TEST(Bloom, StampsEchoTheRingAndFadeWithinSixSeconds) {
    auto first = BloomRenderer::stamps(0);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], BloomRenderer::petals(0));
    EXPECT_TRUE(BloomRenderer::stamps(-1).empty());
    EXPECT_TRUE(BloomRenderer::stamps(std::nan("")).empty());

    // At 6 s the stamp born at 0 is gone; those born after it remain, oldest first.
    auto later = BloomRenderer::stamps(6);
    ASSERT_FALSE(later.empty());
    for (const auto& stamp : later) {
        EXPECT_GT(stamp.opacity, 0.01);
        EXPECT_LE(stamp.opacity, 0.85);
    }
    // At 5 s the first stamp is still there, shrunk and faded by its age.
    auto aged = BloomRenderer::stamps(5);
    ASSERT_FALSE(aged.empty());
    EXPECT_DOUBLE_EQ(aged[0].opacity, (1 - std::sqrt(5.0 / 6)) * 0.4);
    EXPECT_DOUBLE_EQ(aged[0].scale, (1 - 0.15 * 5.0 / 6) * 0.55);
    // The youngest stamp at 6.0 was born at 5.5: age 0.5, at the height of the breath.
    double a = 0.5 / 6;
    EXPECT_DOUBLE_EQ(later.back().opacity, (1 - std::sqrt(a)) * 0.85);
    EXPECT_DOUBLE_EQ(later.back().scale, (1 - 0.15 * a) * 1.8);
}

TEST(Bloom, HueConversionsRoundTrip) {
    auto [h, s, v] = BloomRenderer::rgbToHSV(0.3, 0.5, 1.0);
    auto [r, g, b] = BloomRenderer::hsvToRGB(h, s, v);
    EXPECT_NEAR(r, 0.3, 1e-12);
    EXPECT_NEAR(g, 0.5, 1e-12);
    EXPECT_NEAR(b, 1.0, 1e-12);
    EXPECT_EQ(BloomRenderer::rgbToHSV(0.2, 0.2, 0.2)[0], 0);
    EXPECT_NEAR(BloomRenderer::rgbToHSV(1, 0, 0.5)[0], 11.0 / 12, 1e-12);
}

TEST(Splinter, FlightAcrossItsPhases) {
    EXPECT_EQ(SplinterRenderer::flight(0.3), 0);
    EXPECT_DOUBLE_EQ(SplinterRenderer::flight(0.425), 0.5);
    EXPECT_EQ(SplinterRenderer::flight(0.6), 1);
    EXPECT_DOUBLE_EQ(SplinterRenderer::flight(0.875), 0.5);
    EXPECT_EQ(SplinterRenderer::flight(0.99), 0);
}

TEST(RoseWindow, RingsLightFromTheCentre) {
    for (int ring = 0; ring < 5; ++ring) {
        EXPECT_EQ(RoseWindow::ringFill(ring, 0), 0);
        EXPECT_EQ(RoseWindow::ringFill(ring, 1), 1);
    }
    EXPECT_EQ(RoseWindow::ringFill(0, 0.2), 1);
    EXPECT_NEAR(RoseWindow::ringFill(1, 0.2), 0.15, 1e-12);
    EXPECT_EQ(RoseWindow::ringFill(2, 0.2), 0);
    EXPECT_DOUBLE_EQ(RoseWindow::ringAlpha(0), 1);
    EXPECT_DOUBLE_EQ(RoseWindow::ringAlpha(4), 0.76);
}

SustainSeries values(std::optional<double> a, std::optional<double> b, std::optional<double> c,
                     std::optional<double> d, std::optional<double> e) {
    return {a, b, c, d, e};
}

TEST(Mosaic, TwentyFiveCellsASectorAndInkAroundAnAbsentValue) {
    RecordingContext context;
    MosaicRenderer::drawCell(context, 500, 0, values(0.5, 0.5, std::nullopt, 0.5, 0.5), 1, 1, 0);
    auto strokes = context.named("setStrokeColor");
    ASSERT_EQ(context.named("fillPath").size(), 25u);
    ASSERT_EQ(context.named("strokePath").size(), 25u);
    ASSERT_EQ(strokes.size(), 25u);
    for (std::size_t shape = 0; shape < strokes.size(); ++shape) {
        int position = static_cast<int>(shape % 5);
        bool ink = position == 1 || position == 2;
        EXPECT_EQ(strokes[shape].colors[0].withAlpha(1) == FloodmarkPalette::ink3, ink) << shape;
        EXPECT_DOUBLE_EQ(strokes[shape].colors[0].alpha, ink ? 0.22 : 0.5) << shape;
    }
    RecordingContext dark;
    MosaicRenderer::drawCell(dark, 500, 0, absentSustain(), 0, 1, 0);
    EXPECT_TRUE(dark.named("fillPath").empty());  // level 0 fills nothing; outlines remain
    EXPECT_EQ(dark.named("strokePath").size(), 25u);
}

TEST(CalmCounts, MosaicDraws250CellsAndSplinter500Shards) {
    FloodmarkFrame frame{.y = 1, .x = 0};
    frame.sustain = values(0.2, 0.4, 0.6, 0.8, 1.0);
    frame.style = SaverStyle::mosaic;
    RecordingContext mosaic;
    MosaicRenderer::draw(frame, mosaic, {1600, 900});
    EXPECT_EQ(mosaic.named("fillPath").size(), 250u);
    EXPECT_EQ(mosaic.named("strokePath").size(), 250u);
    RecordingContext splinter;
    SplinterRenderer::draw(frame, splinter, {1600, 900});
    EXPECT_EQ(splinter.named("fillPath").size(), 500u);
    EXPECT_EQ(splinter.named("strokePath").size(), 500u);
}

std::vector<Path> shardsOf(double time, double flight, std::uint64_t cycle) {
    RecordingContext context;
    SplinterRenderer::drawCell(context, 500, time, values(0.2, 0.4, 0.6, 0.8, 1.0), 1, 1, 0, flight,
                               cycle);
    std::vector<Path> paths;
    for (const auto& fill : context.named("fillPath")) {
        paths.push_back(fill.path);
    }
    return paths;
}

TEST(Splinter, ShardsFlyTheSameWayWithinACycleAndAnewInTheNext) {
    EXPECT_EQ(shardsOf(40, 1, 3), shardsOf(40, 1, 3));
    EXPECT_NE(shardsOf(40, 1, 3), shardsOf(40, 1, 4));
    EXPECT_NE(shardsOf(40, 1, 3), shardsOf(40, 0, 3));
    // Home, the shards are the mosaic's cells split along their diagonals.
    EXPECT_EQ(shardsOf(40, 0, 3), shardsOf(40, 0, 9));
}

TEST(TriangleStrata, EightyTrianglesAndTheMiddleLayerOutlined) {
    RecordingContext context;
    TriangleStrata::draw(context, {0, 0, 800, 600}, 10, 0.5, 1, false);
    EXPECT_EQ(context.named("fillPath").size(), 56u);
    EXPECT_EQ(context.named("strokePath").size(), 24u);
    for (const auto& width : context.named("setLineWidth")) {
        EXPECT_EQ(width.numbers[0], 1);
    }
    RecordingContext none;
    TriangleStrata::draw(none, {0, 0, 800, 1}, 10, 0.5, 1, false);
    EXPECT_TRUE(none.operations().empty());
}

TEST(TriangleStrata, OnlyTheTopLayersFirstAndSixthFlareInABurst) {
    RecordingContext context;
    TriangleStrata::draw(context, {0, 0, 800, 600}, 33, 1, 1, false);
    auto fills = context.named("setFillColor");
    ASSERT_EQ(fills.size(), 56u);
    std::size_t top = 46;  // the top layer's fills come after the first layer's 46
    EXPECT_EQ(fills[top].colors[0].withAlpha(1), CalmPalette::exciteA[0]);
    EXPECT_DOUBLE_EQ(fills[top].colors[0].alpha, 0.18 * 2.0);
    EXPECT_EQ(fills[top + 5].colors[0].withAlpha(1), CalmPalette::exciteA[1]);
    EXPECT_DOUBLE_EQ(fills[top + 1].colors[0].alpha, 0.18);
    for (std::size_t i = 0; i < top; ++i) {
        EXPECT_DOUBLE_EQ(fills[i].colors[0].alpha, 0.10);
    }
}

TEST(Unfold, AShortSustainListDrawsTheNeutralPentagon) {
    RecordingContext context;
    UnfoldRenderer::draw(context, {1000, 600}, 3, {0.5, 0.5, 0.5, 0.5}, 1, false);
    auto strokes = context.named("setStrokeColor");
    // Per sector: a spoke and five segments, all ink.
    ASSERT_EQ(strokes.size(), 60u);
    for (const auto& stroke : strokes) {
        EXPECT_EQ(stroke.colors[0].withAlpha(1), FloodmarkPalette::ink3);
    }
    EXPECT_TRUE(context.named("fillEllipse").empty());

    RecordingContext full;
    UnfoldRenderer::draw(full, {1000, 600}, 0, values(1, 1, 1, 1, 1), 1, true);
    EXPECT_EQ(full.named("fillEllipse").size(), 10u);  // a dot on point 0 in every copy
}

std::unique_ptr<CairoCanvas> renderCalm(SaverStyle style, double time, bool reduceMotion,
                                        Size size = {320, 180}) {
    FloodmarkFrame frame{.y = 0.4, .x = 0.3};
    frame.style = style;
    frame.time = time;
    frame.depth = 0.7;
    frame.reduceMotion = reduceMotion;
    frame.sustain = values(0.8, 0.3, std::nullopt, 0.6, 0.9);
    auto canvas = std::make_unique<CairoCanvas>(size, 2);
    canvas->draw(
        [&](DrawingContext& context) { FloodmarkRenderer::drawScene(frame, context, size); });
    return canvas;
}

constexpr SaverStyle::Case calmStyles[] = {SaverStyle::bloom, SaverStyle::unfold,
                                           SaverStyle::mosaic, SaverStyle::splinter};

TEST(CalmPixels, ReduceMotionHoldsEveryCalmStyleStill) {
    for (SaverStyle style : calmStyles) {
        auto early = renderCalm(style, 3, true);
        auto late = renderCalm(style, 40, true);
        auto difference = fixtures::compare(*early, late->surface());
        ASSERT_TRUE(difference.comparable);
        EXPECT_EQ(difference.meanChannelDifference, 0) << style.rawValue();
        auto moving = renderCalm(style, 40, false);
        EXPECT_GT(fixtures::compare(*early, moving->surface()).meanChannelDifference, 0)
            << style.rawValue();
    }
}

TEST(CalmPixels, GoldenPicturesStillMatch) {
    for (SaverStyle style : calmStyles) {
        for (double time : {4.0, 33.0}) {  // a quiet moment, and the peak of a burst
            auto canvas = renderCalm(style, time, false);
            std::string name =
                std::string(style.rawValue()) + "-" + std::to_string(static_cast<int>(time));
            auto difference = fixtures::compareWithGolden(*canvas, name);
            ASSERT_TRUE(difference.comparable) << name;
            EXPECT_LE(difference.meanChannelDifference, 1.0) << name;
            EXPECT_LE(difference.shareOfFarPixels, 0.005) << name;
        }
    }
}

}  // namespace
}  // namespace floodmark
