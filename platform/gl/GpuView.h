#pragma once

#include "platform/gl/GpuDevice.h"
#include "platform/gl/GpuOverlay.h"
#include "platform/kit/View.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace floodmark {

// A view the GPU draws: paused, it draws only when asked, synchronously. In a window of the
// device's window system it draws straight into the window and swaps, with its overlay view
// (the chrome) blended over; elsewhere it draws into an offscreen framebuffer of an explicit
// pixel size, whose picture is read back and composed like any layer.
class GpuView final : public View {
public:
    // The draw: renders into the bound framebuffer; the view, ready to draw, is passed in.
    using Delegate = std::function<void(GpuView&)>;

    GpuView(Size size, std::shared_ptr<GpuDevice> device);
    ~GpuView() override;

    void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }
    // The view whose picture is laid over the GPU's in a window; held weakly.
    void setOverlay(std::weak_ptr<View> overlay) { overlay_ = std::move(overlay); }
    int drawableWidth() const { return drawableWidth_; }
    int drawableHeight() const { return drawableHeight_; }
    void setDrawableSize(int width, int height);

    // Draws now through the delegate and keeps the picture.
    void drawNow();
    // What the next draw changes against the last one on the screen (whole pixels, row 0 at
    // the top; none: everything). It holds for one draw.
    void setChanged(std::optional<PixelRect> changed) { changed_ = changed; }
    // Binds the framebuffer for the delegate; false when there is none to draw into.
    bool bindFramebuffer();
    // Makes the picture the delegate drew the view's picture: on the screen in a window, else
    // read back. False when the window system refused it.
    bool present();

    // While suspended, draw requests are dropped, as by a compositor with no surface to give.
    void setDrawingSuspended(bool suspended) { suspended_ = suspended; }
    // How many pictures were read back from the GPU: none while it draws into a window.
    long long readBacks() const { return readBacks_; }
    // How many pictures were swapped onto the window.
    long long swaps() const { return swaps_; }

    void renderLayer(CairoCanvas& canvas) override;
    // The pixels read back, which the shader made opaque, copied over the clip.
    void paintInto(CairoCanvas& canvas, PixelRect clip) override;
    void viewDidMoveToWindow() override;
    bool presentsItself() const override;
    void presentAgain(bool always) override;
    long long presentations() const override { return swaps_; }

private:
    bool drawsIntoWindow() const;
    void releaseFramebuffer();
    void releaseSurface();
    bool presentOnScreen();
    void readBack();

    std::shared_ptr<GpuDevice> device_;
    Delegate delegate_;
    std::weak_ptr<View> overlay_;
    int drawableWidth_ = 0;
    int drawableHeight_ = 0;
    unsigned framebuffer_ = 0;
    unsigned colour_ = 0;
    void* surface_ = nullptr;
    NativeWindow surfaceWindow_;
    GpuOverlay overlayPicture_;
    bool suspended_ = false;
    std::optional<PixelRect> changed_;
    long long readBacks_ = 0;
    long long swaps_ = 0;
    std::vector<std::uint8_t> pixels_;  // RGBA rows, bottom row first, as GL reads them
    int pixelsWidth_ = 0;
    int pixelsHeight_ = 0;
};

}  // namespace floodmark
