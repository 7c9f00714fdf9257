#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/gpu/FloodmarkGpuRenderer.h"
#include "FloodmarkSaver/gpu/GpuPicture.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/gl/GpuDisplay.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

const Size view{400, 300};

class GpuRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        renderer = FloodmarkGpuRenderer::make(GpuDisplay::offscreen().device());
        // The project installs Mesa, whose llvmpipe renders without a GPU.
        ASSERT_NE(renderer, nullptr);
    }
    std::unique_ptr<FloodmarkGpuRenderer> renderer;
};

TEST_F(GpuRendererTest, MarksKeepTheNewestSixteen) {
    for (int i = 0; i < 20; ++i) {
        renderer->frame.ripples.push_back({0.5, i / 20.0});
    }
    auto uniforms = renderer->makeUniforms(view, 2);
    EXPECT_EQ(uniforms.bands[3], 16);
    EXPECT_FLOAT_EQ(uniforms.marks[0][0], 400 * (4 / 20.0) * 2);  // the four oldest went
    EXPECT_FLOAT_EQ(uniforms.marks[15][0], 400 * (19 / 20.0) * 2);

    renderer->frame.ripples.resize(12);
    renderer->frame.pops = {{0.5, 0.1}, {0.6, 0.2}, {0.7, 0.3}};  // two arcs each
    uniforms = renderer->makeUniforms(view, 2);
    EXPECT_EQ(uniforms.bands[3], 16);
    EXPECT_FLOAT_EQ(uniforms.marks[0][0], 400 * (2 / 20.0) * 2);
    EXPECT_EQ(uniforms.marks[15][3], 1);  // the last pop's ring below the surface
}

TEST_F(GpuRendererTest, PopArcsBecomeMarks) {
    renderer->frame.pops = {{0.2, 0.5}, {1.0, 0.25}};
    auto uniforms = renderer->makeUniforms(view, 1);
    ASSERT_EQ(uniforms.bands[3], 2);
    EXPECT_EQ(uniforms.marks[0], (GpuUniforms::Vector{200, 7, 0.5, 0}));
    EXPECT_FLOAT_EQ(uniforms.marks[1][1], 2.8f * 7);
    EXPECT_EQ(uniforms.marks[1][2], 0);
    EXPECT_EQ(uniforms.marks[1][3], 1);
    EXPECT_EQ(uniforms.marks[2], (GpuUniforms::Vector{0, 0, 0, 0}));
}

TEST_F(GpuRendererTest, WaterSwitchesAndTheLitEnd) {
    renderer->frame.y = 0.5;
    renderer->frame.x = 3;
    renderer->frame.time = 12;
    auto uniforms = renderer->makeUniforms(view, 2);
    EXPECT_EQ(uniforms.size, (GpuUniforms::Vector{800, 600, 12, 1}));
    EXPECT_FLOAT_EQ(uniforms.water[0], 0.5f * 300 * 0.92f * 2);
    EXPECT_FLOAT_EQ(uniforms.water[2], 800);  // the share is clamped to the whole width
    EXPECT_FLOAT_EQ(uniforms.bands[2], 0.75f * 400 * 2);

    renderer->frame.reduceMotion = true;
    uniforms = renderer->makeUniforms(view, 2);
    EXPECT_EQ(uniforms.size[2], 0);
    EXPECT_EQ(uniforms.water[1], 0);

    renderer->frame.y = 0.001;
    EXPECT_EQ(renderer->makeUniforms(view, 2).size[3], 0);
    renderer->frame.y = 1;
    renderer->frame.style = SaverStyle::mosaic;
    EXPECT_EQ(renderer->makeUniforms(view, 2).size[3], 0);
}

TEST_F(GpuRendererTest, TheTintIsConvertedOnlyWhenTheSeverityChanges) {
    renderer->frame.severity = 3;
    auto uniforms = renderer->makeUniforms(view, 1);
    renderer->makeUniforms(view, 1);
    EXPECT_EQ(renderer->tintConversions(), 1);
    EXPECT_EQ(uniforms.tint, FloodmarkGpuRenderer::rgb(*FloodmarkPalette::stateTint(3)));
    renderer->frame.severity = -1;
    uniforms = renderer->makeUniforms(view, 1);
    EXPECT_EQ(renderer->tintConversions(), 2);
    EXPECT_EQ(uniforms.tint, FloodmarkGpuRenderer::rgb(FloodmarkPalette::ink2));
}

TEST_F(GpuRendererTest, DrawMissesAreNamed) {
    auto device = GpuDisplay::offscreen().device();
    GpuView flat({400, 0}, device);
    flat.setDrawableSize(400, 0);
    renderer->beginDraw();
    EXPECT_EQ(renderer->lastMiss(), DrawMiss::skipped);
    renderer->draw(flat);
    EXPECT_FALSE(renderer->presentedLastDraw());
    EXPECT_EQ(renderer->lastMiss(), DrawMiss::noSize);

    GpuView ready(view, device);
    ready.setDrawableSize(400, 300);
    renderer->draw(ready);
    EXPECT_TRUE(renderer->presentedLastDraw());
    EXPECT_EQ(renderer->lastMiss(), std::nullopt);
}

// The GPU and Cairo pictures of one frame: within 2/255 on average per channel, and more than
// 24/255 apart on fewer than 0.5 % of the pixels (anti-aliased edges).
void expectParity(const FloodmarkFrame& frame, Size size, double scale, const char* name) {
    CairoCanvas gpu(size, scale);
    ASSERT_TRUE(drawSceneOnGpu(frame, gpu)) << name;
    CairoCanvas cairo(size, scale);
    cairo.draw(
        [&](DrawingContext& context) { FloodmarkRenderer::drawScene(frame, context, size); });
    auto difference = fixtures::compare(gpu, cairo.surface());
    ASSERT_TRUE(difference.comparable) << name;
    EXPECT_LE(difference.meanChannelDifference, 2.0) << name;
    EXPECT_LT(difference.shareOfFarPixels, 0.005) << name;
}

TEST(GpuParity, TheGpuDrawsWhatCairoDraws) {
    FloodmarkFrame resting = FloodmarkFrame::resting();
    expectParity(resting, {640, 360}, 1, "resting");

    FloodmarkFrame half{.y = 0.5, .x = 0.6};
    half.severity = 3;
    half.time = 3;
    half.ripples = {{0.3, 0.3}, {0.7, 0.6}};
    half.pops = {{0.2, 0.45}, {0.6, 0.8}};
    expectParity(half, {640, 360}, 1, "half, ripples and pops");

    FloodmarkFrame full{.y = 1, .x = 1};
    full.severity = 4;
    full.time = 7;
    expectParity(full, {640, 360}, 1, "full");

    FloodmarkFrame still = half;
    still.reduceMotion = true;
    expectParity(still, {640, 360}, 1, "reduce motion");

    for (int severity : {-1, 0, 1, 2}) {
        FloodmarkFrame tinted{.y = 0.4, .x = 0.3};
        tinted.severity = severity;
        tinted.time = 20;
        expectParity(tinted, {640, 360}, 1, "severity");
    }
    expectParity(half, {200, 120}, 2, "small at scale 2");
    expectParity(half, {1920, 1080}, 1, "large");
}

}  // namespace
}  // namespace floodmark
