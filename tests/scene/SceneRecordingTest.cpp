#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "support/RecordingContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace floodmark {
namespace {

namespace R = FloodmarkRenderer;
using Operation = RecordingContext::Operation;

const Size size{400, 300};

RecordingContext recordScene(const FloodmarkFrame& frame, Size at = size) {
    RecordingContext context;
    R::drawScene(frame, context, at);
    return context;
}

FloodmarkFrame water(double y, double x = 0) {
    return FloodmarkFrame{.y = y, .x = x};
}

// The strokes of half circles (ripples and pops): one arc element each.
std::vector<Path::Element> arcStrokes(const RecordingContext& context) {
    std::vector<Path::Element> arcs;
    for (const auto& stroke : context.named("strokePath")) {
        if (stroke.path.elements().size() == 1 &&
            stroke.path.elements()[0].verb == Path::Verb::arc) {
            arcs.push_back(stroke.path.elements()[0]);
        }
    }
    return arcs;
}

TEST(SceneRecording, TheGroundIsAReusableLayerOfCanvasAndGlow) {
    auto context = recordScene(water(0));
    const auto& operations = context.operations();
    ASSERT_GE(operations.size(), 3u);
    EXPECT_EQ(operations[0].name, "drawReusableLayer");
    EXPECT_EQ(operations[1],
              (Operation{.name = "setFillColor", .colors = {FloodmarkPalette::canvas}}));
    EXPECT_EQ(operations[2].name, "fillRect");
    EXPECT_EQ(operations[2].numbers, (std::vector<double>{0, 0, 400, 300}));
    auto glow = context.named("drawRadialGradient");
    ASSERT_EQ(glow.size(), 1u);
    EXPECT_EQ(glow[0].numbers, (std::vector<double>{200, 0, 0, 200, 0, 300, 0}));
    EXPECT_EQ(glow[0].colors[0].alpha, 0.55);
    EXPECT_EQ(glow[0].colors[1].alpha, 0);
}

TEST(SceneRecording, NoWaterAtOrBelowTheInvisibleLevel) {
    for (double y : {0.0, 0.001, -2.0}) {
        auto context = recordScene(water(y, 1));
        EXPECT_TRUE(context.named("strokePath").empty()) << y;
        EXPECT_TRUE(context.named("clipToPath").empty()) << y;
    }
    EXPECT_FALSE(recordScene(water(0.0011)).named("strokePath").empty());
}

TEST(SceneRecording, FullBleedStylesDrawNoWater) {
    for (auto style : {SaverStyle::mosaic, SaverStyle::splinter}) {
        FloodmarkFrame frame = water(1, 1);
        frame.style = style;
        frame.ripples = {{0.5, 0.5}};
        frame.pops = {{0.5, 0.5}};
        auto context = recordScene(frame);
        // No body, no surface glow, no ripple or pop arcs.
        EXPECT_TRUE(context.named("drawLinearGradient").empty());
        EXPECT_TRUE(context.named("clipToPath").empty());
        EXPECT_TRUE(arcStrokes(context).empty());
        EXPECT_EQ(context.named("setFillColor")[0].colors[0],
                  (Color{8 / 255.0, 10 / 255.0, 14 / 255.0, 1}));
    }
}

TEST(SceneRecording, TheSurfaceIsCutIntoSegmentsOfAbout16Points) {
    for (auto [width, segments] : {std::pair{200.0, 24}, {1600.0, 100}}) {
        auto context = recordScene(water(0.5), {width, 300});
        auto strokes = context.named("strokePath");
        ASSERT_FALSE(strokes.empty());
        EXPECT_EQ(strokes[0].path.elements().size(), static_cast<size_t>(segments + 1));
        EXPECT_EQ(strokes[0].path.elements().back().point.x, width);
    }
}

TEST(SceneRecording, LevelsAreClampedAndReduceMotionFlattensTheSurface) {
    FloodmarkFrame frame = water(1.7);
    frame.reduceMotion = true;
    frame.time = 5;
    auto strokes = recordScene(frame).named("strokePath");
    ASSERT_FALSE(strokes.empty());
    for (const auto& element : strokes[0].path.elements()) {
        EXPECT_DOUBLE_EQ(element.point.y, 0.92 * 300);
    }
}

TEST(SceneRecording, TheBodyAndGlowFollowTheTintOfTheSeverity) {
    for (auto [severity, tint] : {std::pair{-1, FloodmarkPalette::ink2},
                                  {9, *FloodmarkPalette::stateTint(4)},
                                  {0, *FloodmarkPalette::stateTint(0)}}) {
        FloodmarkFrame frame = water(0.5);
        frame.severity = severity;
        auto gradients = recordScene(frame).named("drawLinearGradient");
        ASSERT_EQ(gradients.size(), 2u);
        EXPECT_EQ(gradients[0].colors[0], tint.withAlpha(0.08)) << severity;
        EXPECT_EQ(gradients[0].colors[1], tint.withAlpha(0.22)) << severity;
        EXPECT_EQ(gradients[1].colors[1], tint.withAlpha(0.1)) << severity;
        EXPECT_EQ(gradients[0].numbers[4], 1);  // painted past both ends
    }
}

TEST(SceneRecording, TheLitRunIsClippedToTheShare) {
    auto clipFor = [](double x) { return recordScene(water(0.5, x)).named("clipToRect"); };
    EXPECT_TRUE(clipFor(0).empty());
    EXPECT_TRUE(clipFor(0.0005).empty());
    EXPECT_TRUE(clipFor(std::nan("")).empty());
    ASSERT_EQ(clipFor(0.5).size(), 1u);
    EXPECT_EQ(clipFor(0.5)[0].numbers, (std::vector<double>{0, 0, 200, 300}));
    EXPECT_EQ(clipFor(3)[0].numbers, (std::vector<double>{0, 0, 400, 300}));

    auto context = recordScene(water(0.5, 0.5));
    auto colors = context.named("setStrokeColor");
    ASSERT_GE(colors.size(), 2u);
    EXPECT_DOUBLE_EQ(colors[0].colors[0].alpha, 0.16);
    EXPECT_DOUBLE_EQ(colors[1].colors[0].alpha, 0.42);
}

TEST(SceneRecording, RipplesAreHalfRingsThatGrowAndFade) {
    FloodmarkFrame frame = water(0.5);
    frame.reduceMotion = true;
    frame.ripples = {{0.5, 0.25}, {1.3, 0.75}};
    auto context = recordScene(frame);
    auto arcs = arcStrokes(context);
    ASSERT_EQ(arcs.size(), 2u);
    EXPECT_DOUBLE_EQ(arcs[0].radius, R::rippleRadius(0.5, 300));
    EXPECT_EQ(arcs[0].point, (Point{100, 0.5 * 300 * 0.92}));
    EXPECT_EQ(arcs[0].startAngle, 0);
    EXPECT_DOUBLE_EQ(arcs[0].endAngle, M_PI);
    EXPECT_DOUBLE_EQ(arcs[1].radius, R::rippleRadius(1, 300));

    auto colors = context.named("setStrokeColor");
    EXPECT_DOUBLE_EQ(colors[colors.size() - 2].colors[0].alpha, 0.38 * 0.5);
    EXPECT_DOUBLE_EQ(colors.back().colors[0].alpha, 0);
    // With no pops, the line width stays at the ripples' width.
    EXPECT_DOUBLE_EQ(context.named("setLineWidth").back().numbers[0], 0.8 * 1.5);
}

TEST(SceneRecording, PopsSitOnTheSurface) {
    FloodmarkFrame frame = water(0.5);
    frame.reduceMotion = true;
    frame.pops = {{0.35, 0.5}};
    auto arcs = arcStrokes(recordScene(frame));
    ASSERT_EQ(arcs.size(), 2u);
    EXPECT_EQ(arcs[0].point, (Point{200, 0.5 * 300 * 0.92}));
    EXPECT_EQ(arcs[0].radius, 7);
    EXPECT_EQ(arcs[0].startAngle, 0);
    EXPECT_DOUBLE_EQ(arcs[1].startAngle, M_PI);  // the ring below the surface
    EXPECT_DOUBLE_EQ(arcs[1].radius, 0.6 * 7);
}

RecordingContext recordChrome(const FloodmarkFrame& frame, Size at = {1000, 600}) {
    RecordingContext context;
    R::drawChrome(frame, context, at);
    return context;
}

FloodmarkFrame chromeFrame(double alpha) {
    FloodmarkFrame frame{.y = 0.5, .x = 0};
    frame.clock = "2:47";
    frame.message = "Still cooking.";
    frame.chromeAlpha = alpha;
    return frame;
}

TEST(ChromeRecording, ClockMessageAndCornerMarkWhereTheyBelong) {
    auto texts = recordChrome(chromeFrame(0.5)).named("drawText");
    ASSERT_EQ(texts.size(), 3u);
    // Recorded text is 0.5 × size wide per byte.
    double clockSize = 600 * 0.11;
    EXPECT_EQ(texts[0].text, "2:47|IBMPlexMono-Regular");
    EXPECT_EQ(texts[0].numbers, (std::vector<double>{clockSize, 500 - clockSize, 0.78 * 600}));
    EXPECT_DOUBLE_EQ(texts[0].colors[0].alpha, 0.425);
    EXPECT_EQ(texts[0].colors[0].withAlpha(1), FloodmarkPalette::ink2);

    double messageSize = 600 * 0.021;
    EXPECT_EQ(texts[1].text, "Still cooking.|IBMPlexSans-Regular");
    EXPECT_DOUBLE_EQ(texts[1].numbers[1], 500 - 0.5 * messageSize * 14 / 2);
    EXPECT_DOUBLE_EQ(texts[1].numbers[2], 0.78 * 600 + 0.135 * 600);
    EXPECT_DOUBLE_EQ(texts[1].colors[0].alpha, 0.4);

    double markSize = std::max(600 * 0.014, 11.0);
    EXPECT_EQ(texts[2].text, "tolvera.example|IBMPlexSans-Medium");
    EXPECT_DOUBLE_EQ(texts[2].numbers[1], 1000 - 18 - 0.5 * markSize * 15);
    EXPECT_DOUBLE_EQ(texts[2].numbers[2], 14);
    EXPECT_EQ(texts[2].colors[0], FloodmarkPalette::ink2);
}

TEST(ChromeRecording, HiddenChromeLeavesOnlyTheCornerMark) {
    auto cornerOnly = [](const FloodmarkFrame& frame) {
        auto texts = recordChrome(frame).named("drawText");
        return texts.size() == 1 && texts[0].text.starts_with("tolvera.example");
    };
    EXPECT_TRUE(cornerOnly(chromeFrame(0)));
    EXPECT_TRUE(cornerOnly(chromeFrame(-0.2)));
    EXPECT_TRUE(cornerOnly(chromeFrame(0.005)));
    EXPECT_FALSE(cornerOnly(chromeFrame(1.0 / 64)));
    for (auto style : {SaverStyle::still, SaverStyle::bloom, SaverStyle::mosaic}) {
        FloodmarkFrame frame = chromeFrame(1);
        frame.style = style;
        EXPECT_TRUE(cornerOnly(frame));
    }
    FloodmarkFrame bare = chromeFrame(1);
    bare.clock.clear();
    bare.message.reset();
    EXPECT_TRUE(cornerOnly(bare));
    auto bright = recordChrome(chromeFrame(3)).named("drawText");
    EXPECT_DOUBLE_EQ(bright[0].colors[0].alpha, 0.85);
}

TEST(ChromeRecording, TheCornerMarkKeepsItsMarginsOnSmallViews) {
    auto texts = recordChrome(chromeFrame(1), {300, 200}).named("drawText");
    auto mark = texts.back();
    EXPECT_EQ(mark.numbers[0], 11);
    EXPECT_DOUBLE_EQ(mark.numbers[1], 300 - 18 - 0.5 * 11 * 15);
    EXPECT_EQ(mark.numbers[2], 14);
}

}  // namespace
}  // namespace floodmark
