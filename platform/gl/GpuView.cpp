#include "platform/gl/GpuView.h"

#include <GLES3/gl3.h>

#include <cstring>

namespace floodmark {

GpuView::GpuView(Size size, std::shared_ptr<GpuDevice> device)
    : View(size), device_(std::move(device)) {}

GpuView::~GpuView() {
    releaseFramebuffer();
    releaseSurface();
}

bool GpuView::drawsIntoWindow() const {
    return device_ && device_->drawsToWindows() && window() && window()->nativeWindow().exists();
}

bool GpuView::presentsItself() const {
    return drawsIntoWindow();
}

void GpuView::viewDidMoveToWindow() {
    // A view that left its window, or moved to another, lets the old window's surface go; the
    // next draw makes one for the window it is in.
    if (!window() || window()->nativeWindow() != surfaceWindow_) {
        releaseSurface();
    }
}

void GpuView::releaseSurface() {
    if (surface_ != nullptr && device_) {
        device_->releaseWindowSurface(surface_);
    }
    surface_ = nullptr;
    surfaceWindow_ = {};
}

void GpuView::releaseFramebuffer() {
    if (framebuffer_ != 0 && device_ && device_->makeCurrent()) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
    }
    framebuffer_ = 0;
    colour_ = 0;
}

void GpuView::setDrawableSize(int width, int height) {
    if (width == drawableWidth_ && height == drawableHeight_) {
        return;
    }
    releaseFramebuffer();
    drawableWidth_ = width;
    drawableHeight_ = height;
}

bool GpuView::bindFramebuffer() {
    if (drawsIntoWindow()) {
        if (surface_ == nullptr) {
            surface_ = device_->makeWindowSurface(window()->nativeWindow());
            surfaceWindow_ = surface_ != nullptr ? window()->nativeWindow() : NativeWindow{};
        }
        if (surface_ == nullptr || drawableWidth_ <= 0 || drawableHeight_ <= 0 ||
            !device_->makeCurrent(surface_)) {
            return false;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, drawableWidth_, drawableHeight_);
        return true;
    }
    if (!device_ || !device_->makeCurrent() || drawableWidth_ <= 0 || drawableHeight_ <= 0) {
        return false;
    }
    if (framebuffer_ == 0) {
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, drawableWidth_, drawableHeight_);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        releaseFramebuffer();
        return false;
    }
    glViewport(0, 0, drawableWidth_, drawableHeight_);
    return true;
}

void GpuView::drawNow() {
    if (!suspended_ && delegate_) {
        delegate_(*this);
    }
}

bool GpuView::present() {
    if (drawsIntoWindow()) {
        return presentOnScreen();
    }
    readBack();
    return true;
}

bool GpuView::presentOnScreen() {
    std::optional<PixelRect> changed = changed_;
    changed_.reset();
    auto overlay = overlay_.lock();
    if (overlay && !overlay->isHidden()) {
        double scale = window()->backingScale();
        const CairoCanvas& picture = overlay->layer(scale);
        overlayPicture_.draw(picture, overlay->layerVersion());
        if (changed) {
            changed = changed->united(overlay->lastPainted());
        }
    }
    bool swapped = device_->swap(surface_, changed, drawableHeight_);
    swaps_ += swapped ? 1 : 0;
    return swapped;
}

void GpuView::presentAgain(bool always) {
    auto overlay = overlay_.lock();
    bool overlayChanged = overlay && !overlay->isHidden() && overlay->needsDisplay();
    if (always || overlayChanged) {
        // The water is as it was: only the overlay, if anything, changed.
        setChanged(always ? std::nullopt : std::optional<PixelRect>(PixelRect{}));
        drawNow();
    }
}

void GpuView::readBack() {
    ++readBacks_;
    pixelsWidth_ = drawableWidth_;
    pixelsHeight_ = drawableHeight_;
    pixels_.resize(static_cast<std::size_t>(pixelsWidth_) * pixelsHeight_ * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, pixelsWidth_, pixelsHeight_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    setNeedsDisplay();
}

void GpuView::renderLayer(CairoCanvas& canvas) {
    canvas.clear();
    paintInto(canvas, canvas.pixelBounds());
}

void GpuView::paintInto(CairoCanvas& canvas, PixelRect clip) {
    if (pixels_.empty()) {
        return;
    }
    cairo_surface_t* surface = canvas.surface();
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    clip = clip.intersected({0, 0, pixelsWidth_, pixelsHeight_});
    for (int row = clip.y; row < clip.y + clip.height; ++row) {
        // GL reads the bottom row first; the picture's row 0 is the top.
        const std::uint8_t* source =
            pixels_.data() + static_cast<std::size_t>(pixelsHeight_ - 1 - row) * pixelsWidth_ * 4;
        auto* target = reinterpret_cast<std::uint32_t*>(data + row * stride);
        for (int column = clip.x; column < clip.x + clip.width; ++column) {
            const std::uint8_t* rgba = source + column * 4;
            // The shader writes opaque pixels, so they need no premultiplying.
            target[column] = (std::uint32_t{rgba[3]} << 24) | (std::uint32_t{rgba[0]} << 16) |
                             (std::uint32_t{rgba[1]} << 8) | rgba[2];
        }
    }
    cairo_surface_mark_dirty(surface);
}

}  // namespace floodmark
