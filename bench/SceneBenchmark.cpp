#include "FloodmarkSaver/gpu/FloodmarkGpuRenderer.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/draw/CairoCanvas.h"
#include "platform/draw/Fonts.h"
#include "platform/gl/GpuDisplay.h"

#include <benchmark/benchmark.h>

namespace floodmark {
namespace {

// The standard scene with three ripples and a pop, as during busy work, into a canvas that
// lives across frames as a view's does.
void BM_DrawScene(benchmark::State& state) {
    Size size{static_cast<double>(state.range(0)), static_cast<double>(state.range(1))};
    CairoCanvas canvas(size, 1);
    FloodmarkFrame frame{.y = 0.55, .x = 0.6};
    frame.severity = 3;
    frame.ripples = {{0.2, 0.25}, {0.5, 0.5}, {0.8, 0.75}};
    frame.pops = {{0.4, 0.6}};
    for (auto _ : state) {
        frame.time += 1.0 / 30;
        canvas.draw(
            [&](DrawingContext& context) { FloodmarkRenderer::drawScene(frame, context, size); });
    }
}
BENCHMARK(BM_DrawScene)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

// The chrome with clock, message and corner mark, as it repaints once a minute.
void BM_DrawChrome(benchmark::State& state) {
    registerBundledFonts();
    Size size{1920, 1080};
    CairoCanvas canvas(size, 1);
    FloodmarkFrame frame{.y = 0.5, .x = 0};
    frame.clock = "2:47 PM";
    frame.message = "Still cooking.";
    for (auto _ : state) {
        canvas.draw(
            [&](DrawingContext& context) { FloodmarkRenderer::drawChrome(frame, context, size); });
    }
}
BENCHMARK(BM_DrawChrome)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace floodmark

namespace floodmark {
namespace {

// A calm style's whole scene at 1920×1080 over a canvas that lives across frames.
void BM_DrawCalmScene(benchmark::State& state) {
    static constexpr SaverStyle::Case styles[] = {SaverStyle::bloom, SaverStyle::unfold,
                                                  SaverStyle::mosaic, SaverStyle::splinter};
    SaverStyle style = styles[state.range(0)];
    Size size{1920, 1080};
    CairoCanvas canvas(size, 1);
    FloodmarkFrame frame{.y = 0.5, .x = 0.4};
    frame.style = style;
    frame.depth = 0.7;
    frame.sustain = {0.8, 0.3, 0.5, 0.6, 0.9};
    frame.time = 30;  // in the burst, with the shards flying out
    for (auto _ : state) {
        frame.time += 1.0 / 30;
        canvas.draw(
            [&](DrawingContext& context) { FloodmarkRenderer::drawScene(frame, context, size); });
    }
    state.SetLabel(std::string(style.rawValue()));
}
BENCHMARK(BM_DrawCalmScene)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace floodmark

namespace floodmark {
namespace {

// The same busy frame as BM_DrawScene on the GPU (llvmpipe here): render and read back.
void BM_DrawSceneOnGpu(benchmark::State& state) {
    Size size{static_cast<double>(state.range(0)), static_cast<double>(state.range(1))};
    GpuDevice::setPolicy(GpuPolicy::forced);
    auto device = GpuDisplay::offscreen().device();
    auto renderer = FloodmarkGpuRenderer::make(device);
    if (!renderer) {
        state.SkipWithError("no GPU device");
        return;
    }
    GpuView view(size, device);
    view.setDrawableSize(static_cast<int>(size.width), static_cast<int>(size.height));
    view.setDelegate([&](GpuView& target) { renderer->draw(target); });
    FloodmarkFrame& frame = renderer->frame;
    frame = FloodmarkFrame{.y = 0.55, .x = 0.6};
    frame.severity = 3;
    frame.ripples = {{0.2, 0.25}, {0.5, 0.5}, {0.8, 0.75}};
    frame.pops = {{0.4, 0.6}};
    for (auto _ : state) {
        frame.time += 1.0 / 30;
        view.drawNow();
    }
}
BENCHMARK(BM_DrawSceneOnGpu)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace floodmark
