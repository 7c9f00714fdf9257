#include "FloodmarkSaver/gpu/GpuPicture.h"

#include "FloodmarkSaver/gpu/FloodmarkGpuRenderer.h"
#include "platform/gl/GpuDisplay.h"

namespace floodmark {

bool drawSceneOnGpu(const FloodmarkFrame& frame, CairoCanvas& canvas) {
    auto device = GpuDisplay::offscreen().device();
    auto renderer = FloodmarkGpuRenderer::make(device);
    if (!renderer) {
        return false;
    }
    GpuView view(canvas.size(), device);
    view.setDrawableSize(canvas.pixelWidth(), canvas.pixelHeight());
    view.setDelegate([&](GpuView& target) { renderer->draw(target); });
    renderer->frame = frame;
    renderer->beginDraw();
    view.drawNow();
    if (!renderer->presentedLastDraw()) {
        return false;
    }
    view.renderLayer(canvas);
    return true;
}

}  // namespace floodmark
