#include "platform/draw/CairoCanvas.h"

#include "platform/draw/CairoContext.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace floodmark {

namespace {

// Reusable layers kept at most; a canvas needs one or two (the standard and the calm ground).
constexpr std::size_t maxLayers = 4;

// The layers alive in some window's keep, by pixel size, scale and key, so that windows of one
// size (outputs alike) hold a single copy. A layer leaves when its last holder lets it go.
struct LiveLayerKey {
    int width;
    int height;
    double scale;
    std::string key;
    auto operator<=>(const LiveLayerKey&) const = default;
};

std::mutex liveLayersLock;
std::map<LiveLayerKey, std::weak_ptr<const GroundLayer>> liveLayers;

}  // namespace

CairoCanvas::CairoCanvas(Size size, double scale)
    : size_(size),
      scale_(scale),
      pixelWidth_(size.pixelsAt(scale).width),
      pixelHeight_(size.pixelsAt(scale).height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_)) {}

CairoCanvas::CairoCanvas(Size size, double scale, unsigned char* pixels, int stride)
    : size_(size),
      scale_(scale),
      pixelWidth_(size.pixelsAt(scale).width),
      pixelHeight_(size.pixelsAt(scale).height),
      surface_(cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, pixelWidth_,
                                                   pixelHeight_, stride)) {}

CairoCanvas::~CairoCanvas() {
    cairo_surface_destroy(surface_);
}

void CairoCanvas::draw(const std::function<void(DrawingContext&)>& paint,
                       std::optional<PixelRect> clip) {
    drawWithCairo(*this, surface_, clip, paint);
    cairo_surface_flush(surface_);
}

void CairoCanvas::clear(std::optional<PixelRect> clip) {
    cairo_t* cairo = cairo_create(surface_);
    clipToPixels(cairo, clip);
    cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(surface_);
}

void CairoCanvas::compose(const CairoCanvas& layer, std::optional<PixelRect> clip) {
    paintLayer(layer, clip, CAIRO_OPERATOR_OVER);
}

void CairoCanvas::replace(const CairoCanvas& layer, std::optional<PixelRect> clip) {
    paintLayer(layer, clip, CAIRO_OPERATOR_SOURCE);
}

void CairoCanvas::paintLayer(const CairoCanvas& layer, std::optional<PixelRect> clip,
                             cairo_operator_t mode) {
    cairo_t* cairo = cairo_create(surface_);
    clipToPixels(cairo, clip);
    cairo_set_operator(cairo, mode);
    cairo_set_source_surface(cairo, layer.surface_, 0, 0);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(surface_);
}

PixelRect CairoCanvas::pixelsCovering(Rect rect) const {
    return floodmark::pixelsCovering(rect, scale_, pixelWidth_, pixelHeight_);
}

std::shared_ptr<const GroundLayer> CairoCanvas::reusableLayer(
    const std::string& key, const std::function<void(DrawingContext&)>& paint) {
    ReusableLayers& kept = *layers_;
    if (kept.width_ != pixelWidth_ || kept.height_ != pixelHeight_) {
        kept.layers_.clear();
        kept.width_ = pixelWidth_;
        kept.height_ = pixelHeight_;
    }
    if (auto found = kept.layers_.find(key); found != kept.layers_.end()) {
        return found->second;
    }
    if (kept.layers_.size() >= maxLayers) {
        kept.layers_.clear();
    }
    LiveLayerKey live{pixelWidth_, pixelHeight_, scale_, key};
    {
        std::lock_guard lock(liveLayersLock);
        if (auto found = liveLayers.find(live); found != liveLayers.end()) {
            if (auto layer = found->second.lock()) {
                kept.layers_.emplace(key, layer);
                return layer;
            }
        }
    }
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth_, pixelHeight_);
    drawWithCairo(*this, image, std::nullopt, paint);
    cairo_surface_flush(image);
    auto layer = std::make_shared<const GroundLayer>(image);
    {
        std::lock_guard lock(liveLayersLock);
        // Layers no window holds any more leave as a new one comes.
        std::erase_if(liveLayers, [](const auto& entry) { return entry.second.expired(); });
        liveLayers.insert_or_assign(std::move(live), layer);
    }
    kept.layers_.emplace(key, layer);
    return layer;
}

std::array<std::uint8_t, 4> CairoCanvas::pixel(int column, int row) const {
    if (column < 0 || row < 0 || column >= pixelWidth_ || row >= pixelHeight_) {
        return {0, 0, 0, 0};
    }
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    std::uint32_t value;
    std::memcpy(&value, data + row * stride + column * 4, 4);
    std::uint8_t alpha = value >> 24;
    auto channel = [&](int shift) -> std::uint8_t {
        std::uint32_t premultiplied = (value >> shift) & 0xff;
        return alpha == 0 ? 0
                          : static_cast<std::uint8_t>((premultiplied * 255 + alpha / 2) / alpha);
    };
    return {channel(16), channel(8), channel(0), alpha};
}

bool CairoCanvas::writePng(const std::string& path) const {
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace floodmark
