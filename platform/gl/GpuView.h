#pragma once

#include "platform/gl/GpuDevice.h"
#include "platform/kit/View.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace floodmark {

// A view the GPU draws: paused, it draws only when asked, synchronously, into an offscreen
// framebuffer of an explicit pixel size, whose picture the host composes like any layer.
class GpuView final : public View {
public:
    // The draw: renders into the bound framebuffer; the view, ready to draw, is passed in.
    using Delegate = std::function<void(GpuView&)>;

    GpuView(Size size, std::shared_ptr<GpuDevice> device);
    ~GpuView() override;

    void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }
    int drawableWidth() const { return drawableWidth_; }
    int drawableHeight() const { return drawableHeight_; }
    void setDrawableSize(int width, int height);

    // Draws now through the delegate and keeps the picture.
    void drawNow();
    // Binds the framebuffer for the delegate; false when there is none to draw into.
    bool bindFramebuffer();
    // Makes the picture the delegate drew the view's picture.
    void present();

    // While suspended, draw requests are dropped, as by a compositor with no surface to give.
    void setDrawingSuspended(bool suspended) { suspended_ = suspended; }

    void renderLayer(CairoCanvas& canvas) override;

private:
    void releaseFramebuffer();

    std::shared_ptr<GpuDevice> device_;
    Delegate delegate_;
    int drawableWidth_ = 0;
    int drawableHeight_ = 0;
    unsigned framebuffer_ = 0;
    unsigned colour_ = 0;
    bool suspended_ = false;
    std::vector<std::uint8_t> pixels_;  // RGBA rows, bottom row first, as GL reads them
    int pixelsWidth_ = 0;
    int pixelsHeight_ = 0;
};

}  // namespace floodmark
