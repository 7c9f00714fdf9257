#include "platform/draw/CairoCanvas.h"
#include "platform/draw/Fonts.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace floodmark {
namespace {

using Pixel = std::array<std::uint8_t, 4>;

constexpr Color red{1, 0, 0, 1};
constexpr Color blue{0, 0, 1, 1};

Path leftHalf() {
    Path path;
    path.moveTo({0, 0});
    path.lineTo({50, 0});
    path.lineTo({50, 40});
    path.lineTo({0, 40});
    path.close();
    return path;
}

TEST(CairoCanvas, TheOriginIsBottomLeftAndPointsScale) {
    CairoCanvas canvas({100, 40}, 2);
    EXPECT_EQ(canvas.pixelWidth(), 200);
    EXPECT_EQ(canvas.pixelHeight(), 80);
    canvas.draw([](DrawingContext& context) {
        context.setFillColor(red);
        context.fillRect({0, 0, 10, 10});
    });
    EXPECT_EQ(canvas.pixel(0, 79), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.pixel(19, 60), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.pixel(0, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(canvas.pixel(20, 79), (Pixel{0, 0, 0, 0}));
}

// Pictures, buffers and windows all count their pixels so: halves round away from zero, and
// no size falls below one pixel or past Cairo's largest picture.
TEST(CairoCanvas, PointsBecomeWholePixelsAsEveryPictureCountsThem) {
    struct Case {
        Size points;
        double scale;
        PixelSize pixels;
    };
    const Case cases[] = {
        {{100.5, 2.5}, 1, {101, 3}},     {{0.4, 0}, 1, {1, 1}},
        {{333.4, 1.25}, 1.5, {500, 2}},  {{16384, 20000}, 8, {32767, 32767}},
        {{std::nan(""), -5}, 2, {1, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.points.pixelsAt(c.scale), c.pixels) << c.points.width << "@" << c.scale;
    }
    CairoCanvas canvas({100.5, 2.5}, 1);
    EXPECT_EQ(canvas.pixelWidth(), 101);
    EXPECT_EQ(canvas.pixelHeight(), 3);
}

TEST(CairoCanvas, APathClipHoldsForEverythingInItsBracket) {
    CairoCanvas canvas({100, 40}, 1);
    canvas.draw([](DrawingContext& context) {
        context.save();
        context.clipToPath(leftHalf());
        context.drawLinearGradient(blue, blue, {0, 0}, {0, 40}, true);
        context.setFillColor(red);
        context.fillRect({0, 0, 100, 20});  // still clipped to the left half
        context.restore();
        context.setFillColor(red.withAlpha(0.5));
        context.fillRect({90, 0, 10, 40});  // the clip ended with the restore
    });
    EXPECT_EQ(canvas.pixel(10, 10), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(canvas.pixel(10, 30), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.pixel(70, 30), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(canvas.pixel(95, 30)[0], 255);
    EXPECT_NEAR(canvas.pixel(95, 30)[3], 128, 1);
}

TEST(CairoCanvas, ColoursSetInsideASaveEndWithItsRestore) {
    CairoCanvas canvas({30, 10}, 1);
    canvas.draw([](DrawingContext& context) {
        context.setFillColor(red);
        context.setStrokeColor(red);
        context.save();
        context.setFillColor(blue);
        context.setStrokeColor(blue);
        context.fillRect({0, 0, 10, 10});
        context.restore();
        context.fillRect({10, 0, 10, 10});
        Path line;
        line.moveTo({25, 0});
        line.lineTo({25, 10});
        context.setLineWidth(4);
        context.strokePath(line);
    });
    EXPECT_EQ(canvas.pixel(5, 5), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(canvas.pixel(15, 5), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.pixel(25, 5), (Pixel{255, 0, 0, 255}));
}

TEST(CairoCanvas, AGradientWithoutExtendStopsAtItsEnds) {
    CairoCanvas canvas({100, 10}, 1);
    canvas.draw([](DrawingContext& context) {
        context.drawRadialGradient(red, red, {0, 0}, 0, {0, 0}, 50, false);
    });
    EXPECT_EQ(canvas.pixel(10, 9)[3], 255);
    EXPECT_EQ(canvas.pixel(80, 9)[3], 0);
}

TEST(CairoCanvas, TextInkStartsAtItsOriginAndMeasuresItsWidth) {
    registerBundledFonts();
    CairoCanvas canvas({200, 60}, 1);
    double width = 0;
    canvas.draw([&](DrawingContext& context) {
        width = context.textWidth("HHHH", "IBMPlexSans-Medium", 20);
        context.drawText("HHHH", "IBMPlexSans-Medium", 20, blue, {50, 20});
    });
    EXPECT_GT(width, 40);
    EXPECT_LT(width, 80);
    auto inkInColumn = [&](int column) {
        for (int row = 0; row < 60; ++row) {
            if (canvas.pixel(column, row)[3] > 128) {
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(inkInColumn(48));
    EXPECT_TRUE(inkInColumn(51));
    EXPECT_TRUE(inkInColumn(static_cast<int>(50 + width) - 2));
    EXPECT_FALSE(inkInColumn(static_cast<int>(50 + width) + 2));
    // Above the baseline, not below it.
    EXPECT_EQ(canvas.pixel(52, 60 - 20 + 3)[3], 0);
    EXPECT_GT(canvas.pixel(52, 60 - 20 - 3)[3], 128);
}

// Windows of one size (outputs alike) hold one copy of the ground, not one each; another size,
// or a layer let go by every window, is drawn afresh.
TEST(CairoCanvas, CanvasesOfOneSizeShareAReusableLayer) {
    int drawings = 0;
    auto drawInto = [&](CairoCanvas& canvas) {
        canvas.draw([&](DrawingContext& context) {
            context.drawReusableLayer("ground", [&](DrawingContext& layer) {
                ++drawings;
                layer.setFillColor(blue);
                layer.fillRect({0, 0, 20, 10});
            });
        });
    };
    auto first = std::make_unique<CairoCanvas>(Size{20, 10}, 1);
    CairoCanvas second({20, 10}, 1);
    CairoCanvas larger({20, 10}, 2);
    drawInto(*first);
    drawInto(second);
    EXPECT_EQ(drawings, 1);
    EXPECT_EQ(second.pixel(19, 9), (Pixel{0, 0, 255, 255}));
    drawInto(larger);
    EXPECT_EQ(drawings, 2);
    first.reset();
    CairoCanvas third({20, 10}, 1);
    drawInto(third);
    EXPECT_EQ(drawings, 2);  // the second still holds it
}

TEST(CairoCanvas, WritesAPng) {
    fixtures::TempDirectory directory;
    CairoCanvas canvas({10, 10}, 1);
    EXPECT_TRUE(canvas.writePng(directory.file("canvas.png")));
    EXPECT_TRUE(fixtures::fileExists(directory.file("canvas.png")));
    EXPECT_FALSE(canvas.writePng(directory.file("missing/canvas.png")));
}

}  // namespace
}  // namespace floodmark
