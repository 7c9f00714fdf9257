#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "support/RecordingContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace floodmark {
namespace {

namespace R = FloodmarkRenderer;

const Size size{400, 300};

RecordingContext recordScene(const FloodmarkFrame& frame, Size at = size) {
    RecordingContext context;
    R::drawScene(frame, context, at);
    return context;
}

FloodmarkFrame water(double y, double x = 0) {
    return FloodmarkFrame{.y = y, .x = x};
}

// A half circle as stroked (ripples and pops): its arc, line width and colour.
struct Ring {
    Path::Element arc;
    double width;
    Color colour;
};

std::vector<Ring> rings(const RecordingContext& context) {
    std::vector<Ring> found;
    for (const auto& stroke : context.named("strokePath")) {
        const auto& elements = stroke.path.elements();
        if (elements.size() == 1 && elements[0].verb == Path::Verb::arc) {
            found.push_back({elements[0], stroke.numbers[0], stroke.colors[0]});
        }
    }
    return found;
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
        EXPECT_TRUE(rings(context).empty());
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

// The surface is stroked dim across the width, then again lit over the share of the width.
TEST(SceneRecording, TheLitRunIsClippedToTheShare) {
    auto clipFor = [](double x) { return recordScene(water(0.5, x)).named("clipToRect"); };
    EXPECT_TRUE(clipFor(0).empty());
    EXPECT_TRUE(clipFor(0.0005).empty());
    EXPECT_TRUE(clipFor(std::nan("")).empty());
    ASSERT_EQ(clipFor(0.5).size(), 1u);
    EXPECT_EQ(clipFor(0.5)[0].numbers, (std::vector<double>{0, 0, 200, 300}));
    EXPECT_EQ(clipFor(3)[0].numbers, (std::vector<double>{0, 0, 400, 300}));

    auto strokes = recordScene(water(0.5, 0.5)).named("strokePath");
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[0].path, strokes[1].path);
    EXPECT_DOUBLE_EQ(strokes[0].colors[0].alpha, 0.16);
    EXPECT_DOUBLE_EQ(strokes[1].colors[0].alpha, 0.42);
}

// On the flat surface of a 300-point view at half level (138 points up), in the line width
// of 0.8 × 1.5 points, fading from 0.38 as they grow from 6 points by 24 over their life.
TEST(SceneRecording, RipplesAreHalfRingsThatGrowAndFade) {
    FloodmarkFrame frame = water(0.5);
    frame.reduceMotion = true;
    frame.ripples = {{0.5, 0.25}, {1.3, 0.75}};
    auto drawn = rings(recordScene(frame));
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].arc.point, (Point{100, 138}));
    EXPECT_DOUBLE_EQ(drawn[0].arc.radius, 18);
    EXPECT_EQ(drawn[0].arc.startAngle, 0);
    EXPECT_DOUBLE_EQ(drawn[0].arc.endAngle, M_PI);
    EXPECT_DOUBLE_EQ(drawn[0].colour.alpha, 0.19);
    EXPECT_DOUBLE_EQ(drawn[0].width, 1.2);
    EXPECT_EQ(drawn[1].arc.point, (Point{300, 138}));
    EXPECT_DOUBLE_EQ(drawn[1].arc.radius, 30);  // an age past 1 counts as 1
    EXPECT_DOUBLE_EQ(drawn[1].colour.alpha, 0);
}

TEST(SceneRecording, PopsSitOnTheSurface) {
    FloodmarkFrame frame = water(0.5);
    frame.reduceMotion = true;
    frame.pops = {{0.35, 0.5}};
    auto drawn = rings(recordScene(frame));
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].arc.point, (Point{200, 138}));
    EXPECT_EQ(drawn[0].arc.radius, 7);
    EXPECT_EQ(drawn[0].arc.startAngle, 0);
    EXPECT_DOUBLE_EQ(drawn[1].arc.startAngle, M_PI);  // the ring below the surface
    EXPECT_DOUBLE_EQ(drawn[1].arc.radius, 0.6 * 7);
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
