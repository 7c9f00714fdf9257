#pragma once

#include "platform/draw/DrawingContext.h"
#include "platform/draw/GroundLayer.h"
#include "platform/draw/PixelRect.h"

#include <cairo.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace floodmark {

// The layers that drawings marked reusable (the ground), kept for pictures of one pixel size;
// pictures of another size find none. Shared by the pictures that take turns showing a window;
// a layer another window's keep holds for the same size is shared too, not drawn again.
class ReusableLayers {
public:
    ReusableLayers() = default;
    ReusableLayers(const ReusableLayers&) = delete;
    ReusableLayers& operator=(const ReusableLayers&) = delete;

private:
    friend class CairoCanvas;
    int width_ = 0;
    int height_ = 0;
    std::map<std::string, std::shared_ptr<const GroundLayer>> layers_;
};

// An ARGB32 picture of a view: `size` points at `scale` pixels a point. Keeps the layers its
// drawings marked reusable for as long as it lives, or shares them.
class CairoCanvas {
public:
    CairoCanvas(Size size, double scale);
    // A picture in memory another owns (a buffer a host presents), of the pixel size `size`
    // and `scale` give, rows `stride` bytes apart; the memory outlives the canvas.
    CairoCanvas(Size size, double scale, unsigned char* pixels, int stride);
    ~CairoCanvas();
    CairoCanvas(const CairoCanvas&) = delete;
    CairoCanvas& operator=(const CairoCanvas&) = delete;

    // Runs `paint` with a context over the picture, or only over the pixels of `clip`: those
    // come out exactly as a whole drawing would make them.
    void draw(const std::function<void(DrawingContext&)>& paint,
              std::optional<PixelRect> clip = std::nullopt);
    // Makes every pixel transparent, or those of `clip`.
    void clear(std::optional<PixelRect> clip = std::nullopt);
    // Paints `layer`, of the same size, over this picture, or over `clip` of it.
    void compose(const CairoCanvas& layer, std::optional<PixelRect> clip = std::nullopt);
    // Puts the pixels of `layer` in place of this picture's, or of `clip` of it: what clearing
    // and composing it gives, in one pass instead of two.
    void replace(const CairoCanvas& layer, std::optional<PixelRect> clip = std::nullopt);

    // The reusable layers of drawings into this picture are kept in `layers` from now on.
    void useReusableLayers(std::shared_ptr<ReusableLayers> layers) { layers_ = std::move(layers); }

    // Every pixel of the picture.
    PixelRect pixelBounds() const { return {0, 0, pixelWidth_, pixelHeight_}; }
    // The whole pixels that `rect` (points, origin bottom-left) touches, within the picture.
    PixelRect pixelsCovering(Rect rect) const;

    Size size() const { return size_; }
    double scale() const { return scale_; }
    int pixelWidth() const { return pixelWidth_; }
    int pixelHeight() const { return pixelHeight_; }
    // Red, green, blue, alpha (not premultiplied) of a pixel; row 0 is the top.
    std::array<std::uint8_t, 4> pixel(int column, int row) const;
    bool writePng(const std::string& path) const;
    cairo_surface_t* surface() const { return surface_; }

private:
    friend class CairoContext;
    std::shared_ptr<const GroundLayer> reusableLayer(
        const std::string& key, const std::function<void(DrawingContext&)>& paint);
    void paintLayer(const CairoCanvas& layer, std::optional<PixelRect> clip, cairo_operator_t mode);

    Size size_;
    double scale_;
    int pixelWidth_;
    int pixelHeight_;
    cairo_surface_t* surface_;
    std::shared_ptr<ReusableLayers> layers_ = std::make_shared<ReusableLayers>();
};

}  // namespace floodmark
