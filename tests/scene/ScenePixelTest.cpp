#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/draw/CairoCanvas.h"
#include "platform/draw/Fonts.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <memory>

namespace floodmark {
namespace {

std::unique_ptr<CairoCanvas> render(const FloodmarkFrame& frame, Size size, double scale = 1) {
    registerBundledFonts();
    auto canvas = std::make_unique<CairoCanvas>(size, scale);
    canvas->draw([&](DrawingContext& context) {
        FloodmarkRenderer::drawScene(frame, context, size);
        FloodmarkRenderer::drawChrome(frame, context, size);
    });
    return canvas;
}

int luminance(const std::array<std::uint8_t, 4>& pixel) {
    return pixel[0] + pixel[1] + pixel[2];
}

// The brightest pixel of a box, in device pixels with row 0 at the top.
int brightestIn(const CairoCanvas& canvas, int left, int top, int right, int bottom) {
    int brightest = 0;
    for (int row = top; row < bottom; ++row) {
        for (int column = left; column < right; ++column) {
            brightest = std::max(brightest, luminance(canvas.pixel(column, row)));
        }
    }
    return brightest;
}

FloodmarkFrame frameAt(double y, int severity) {
    FloodmarkFrame frame{.y = y, .x = 0};
    frame.severity = severity;
    return frame;
}

TEST(ScenePixels, TheCanvasColourAwayFromTheGlow) {
    auto canvas = render(FloodmarkFrame::resting(), {400, 300});
    EXPECT_EQ(canvas->pixel(0, 0), (std::array<std::uint8_t, 4>{22, 23, 25, 255}));
    EXPECT_EQ(canvas->pixel(399, 0), (std::array<std::uint8_t, 4>{22, 23, 25, 255}));
    // The glow lightens the bottom centre.
    EXPECT_GT(luminance(canvas->pixel(200, 299)), luminance(canvas->pixel(0, 0)) + 10);
}

TEST(ScenePixels, TheWaterIsTintedBySeverity) {
    auto pixelBelow = [](int severity) {
        return render(frameAt(0.6, severity), {400, 300})->pixel(20, 280);
    };
    auto amber = pixelBelow(3);
    EXPECT_GT(amber[0], amber[1]);
    EXPECT_GT(amber[1], amber[2]);
    auto green = pixelBelow(0);
    EXPECT_GT(green[1], green[0]);
    EXPECT_GT(green[0], green[2]);
    auto redOrange = pixelBelow(7);
    EXPECT_GT(redOrange[0], redOrange[1] + 15);
    auto neutral = pixelBelow(-1);
    EXPECT_LE(std::abs(neutral[0] - neutral[1]), 3);
    auto dry = render(frameAt(0, -1), {400, 300})->pixel(20, 280);
    EXPECT_GT(luminance(neutral), luminance(dry) + 10);
}

// A level past full counts as full; with motion reduced the surface lies flat.
TEST(ScenePixels, AFullLevelRestsAt92PercentOfTheHeight) {
    FloodmarkFrame frame = frameAt(1.7, 4);
    frame.reduceMotion = true;
    auto canvas = render(frame, {400, 300});
    for (int column : {5, 100, 250, 395}) {
        int brightestRow = 0;
        for (int row = 1; row < 60; ++row) {
            if (luminance(canvas->pixel(column, row)) >
                luminance(canvas->pixel(column, brightestRow))) {
                brightestRow = row;
            }
        }
        // The rest line lies at 276 points from the bottom: between rows 23 and 24.
        EXPECT_GE(brightestRow, 23) << column;
        EXPECT_LE(brightestRow, 24) << column;
    }
}

TEST(ScenePixels, ClockAndCornerMarkInkWhereTheyBelong) {
    FloodmarkFrame frame = frameAt(0.3, 2);
    frame.clock = "12:34";
    frame.message = "Still cooking.";
    auto canvas = render(frame, {800, 450});
    int background = luminance(canvas->pixel(400, 200));
    // The clock's baseline is at 78 % of the height: its glyphs stand just above row 99.
    EXPECT_GT(brightestIn(*canvas, 300, 50, 500, 99), background + 200);
    EXPECT_LT(brightestIn(*canvas, 0, 50, 250, 99), background + 10);
    // The corner mark sits at the lower right, above a 14-point baseline.
    int besideTheMark = brightestIn(*canvas, 0, 420, 500, 436);
    EXPECT_GT(brightestIn(*canvas, 650, 420, 782, 436), besideTheMark + 150);

    frame.chromeAlpha = 0;
    auto hidden = render(frame, {800, 450});
    EXPECT_LT(brightestIn(*hidden, 300, 50, 500, 99), background + 10);
}

TEST(ScenePixels, AKeptGroundPaintsTheSamePixels) {
    FloodmarkFrame frame = frameAt(0.5, 3);
    frame.ripples = {{0.3, 0.4}};
    CairoCanvas reused({320, 180}, 2);
    for (int i = 0; i < 2; ++i) {
        reused.draw([&](DrawingContext& context) {
            FloodmarkRenderer::drawScene(frame, context, {320, 180});
        });
    }
    CairoCanvas fresh({320, 180}, 2);
    fresh.draw([&](DrawingContext& context) {
        FloodmarkRenderer::drawScene(frame, context, {320, 180});
    });
    auto difference = fixtures::compare(reused, fresh.surface());
    ASSERT_TRUE(difference.comparable);
    EXPECT_EQ(difference.meanChannelDifference, 0);
}

// The body and the glow filled row by row give the pixels the clipped gradients gave: read
// from pictures drawn before, at floors, in the body, across the surface, in its glow and in
// the air, within a level a channel (the dither's half level either side).
TEST(ScenePixels, TheWaterFilledRowByRowKeepsItsPixels) {
    struct Sample {
        Size size;
        double scale;
        double level;
        int severity;
        int column;
        int row;
        std::array<int, 3> rgb;
    };
    const Sample samples[] = {
        {{400, 300}, 1, 0.5, 3, 0, 299, {75, 57, 21}},
        {{400, 300}, 1, 0.5, 3, 200, 230, {60, 50, 26}},
        {{400, 300}, 1, 0.5, 3, 123, 162, {44, 38, 26}},
        {{400, 300}, 1, 0.5, 3, 300, 150, {30, 29, 27}},
        {{400, 300}, 1, 0.5, 3, 390, 20, {22, 23, 25}},
        {{1920, 1080}, 1, 0.3, 0, 0, 1079, {55, 70, 44}},
        {{1920, 1080}, 1, 0.3, 0, 960, 900, {46, 56, 41}},
        {{1920, 1080}, 1, 0.3, 0, 480, 782, {57, 72, 46}},
        {{1920, 1080}, 1, 0.3, 0, 1500, 760, {32, 35, 33}},
        {{1920, 1080}, 1, 0.3, 0, 1919, 30, {22, 23, 25}},
        {{1920, 1080}, 2, 0.75, 4, 0, 2159, {72, 38, 23}},
        {{1920, 1080}, 2, 0.75, 4, 1920, 1500, {61, 37, 27}},
        {{1920, 1080}, 2, 0.75, 4, 2000, 670, {73, 38, 23}},
        {{1920, 1080}, 2, 0.75, 4, 3000, 640, {35, 28, 26}},
        {{1920, 1080}, 2, 0.75, 4, 3839, 60, {22, 23, 25}},
    };
    std::unique_ptr<CairoCanvas> canvas;
    const Sample* drawn = nullptr;
    for (const Sample& sample : samples) {
        // One picture for each run of samples of the same scene.
        if (!drawn || drawn->scale != sample.scale || drawn->level != sample.level) {
            FloodmarkFrame frame = frameAt(sample.level, sample.severity);
            frame.time = 5;
            canvas = std::make_unique<CairoCanvas>(sample.size, sample.scale);
            canvas->draw([&](DrawingContext& context) {
                FloodmarkRenderer::drawScene(frame, context, sample.size);
            });
            drawn = &sample;
        }
        auto pixel = canvas->pixel(sample.column, sample.row);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(pixel[channel], sample.rgb[channel], 1)
                << sample.size.width << "@" << sample.scale << " (" << sample.column << ", "
                << sample.row << ") channel " << channel;
        }
    }
}

TEST(Fonts, RegisteredFacesAreFoundByStemAndOthersFallBack) {
    registerBundledFonts();
    auto mono = fontNamed("IBMPlexMono-Regular");
    auto medium = fontNamed("IBMPlexSans-Medium");
    auto missing = fontNamed("NoSuchFace-Regular");
    ASSERT_TRUE(mono);
    ASSERT_TRUE(medium);
    EXPECT_NE(mono, medium);
    EXPECT_NE(mono, missing);
    ASSERT_TRUE(missing);  // the default sans
    EXPECT_EQ(missing, fontNamed("AnotherMissing"));
    EXPECT_EQ(mono->shape("12:34", 10).size(), 5u);
}

struct GoldenScene {
    const char* name;
    FloodmarkFrame frame;
};

FloodmarkFrame goldenFrame(double y, double x, int severity, double time) {
    FloodmarkFrame frame{.y = y, .x = x};
    frame.severity = severity;
    frame.time = time;
    return frame;
}

TEST(ScenePixels, GoldenPicturesStillMatch) {
    FloodmarkFrame resting = FloodmarkFrame::resting();
    FloodmarkFrame amber = goldenFrame(0.5, 0.6, 3, 3);
    amber.ripples = {{0.3, 0.3}, {0.7, 0.6}};
    amber.pops = {{0.2, 0.45}, {0.6, 0.8}};
    amber.clock = "2:47 PM";
    amber.message = "Still cooking.";
    FloodmarkFrame red = goldenFrame(1, 1, 4, 7);
    red.reduceMotion = true;
    red.clock = "11:05 PM";
    red.message = "3 agents are waiting on you.";
    for (const auto& [name, frame] :
         {GoldenScene{"resting", resting}, GoldenScene{"amber-half", amber},
          GoldenScene{"red-full", red}}) {
        auto canvas = render(frame, {320, 180}, 2);
        auto difference = fixtures::compareWithGolden(*canvas, name);
        ASSERT_TRUE(difference.comparable) << name;
        EXPECT_LE(difference.meanChannelDifference, 1.0) << name;
        EXPECT_LE(difference.shareOfFarPixels, 0.005) << name;
    }
}

// At 1920×1080 every length that scales with the height has left its floor.
TEST(ScenePixels, AFullHdPictureStillMatchesAndItsWaterHoldsTheTintByValue) {
    FloodmarkFrame amber = goldenFrame(0.5, 0.6, 3, 3);
    amber.ripples = {{0.3, 0.3}};
    amber.pops = {{0.2, 0.45}};
    amber.clock = "2:47 PM";
    amber.message = "Still cooking.";
    auto canvas = render(amber, {1920, 1080});
    auto difference = fixtures::compareWithGolden(*canvas, "amber-half-1080p");
    ASSERT_TRUE(difference.comparable);
    EXPECT_LE(difference.meanChannelDifference, 1.0);
    EXPECT_LE(difference.shareOfFarPixels, 0.005);

    // The floor at the left edge: amber (255, 174, 0) at the body's floor alpha 0.22 over the
    // canvas lit by the glow, 960 of its 1440 pixels out (alpha 0.55 × 1/3 of (33, 35, 39)
    // over (22, 23, 25) gives 24.02, 25.20, 27.57): 0.22 × tint + 0.78 × ground, give or take
    // the dither of both gradients.
    auto floor = canvas->pixel(0, 1079);
    EXPECT_NEAR(floor[0], 0.22 * 255 + 0.78 * 24.02, 1.5);
    EXPECT_NEAR(floor[1], 0.22 * 174 + 0.78 * 25.20, 1.5);
    EXPECT_NEAR(floor[2], 0.78 * 27.57, 1.5);
}

}  // namespace
}  // namespace floodmark
