#include "platform/draw/GroundLayer.h"

#include <algorithm>
#include <optional>

namespace floodmark {

namespace {

const std::uint32_t* rowOf(const unsigned char* data, int stride, int row) {
    return reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
}

// The least of each colour over the image, opaque, when every pixel is opaque and no colour
// strays further from it than its bits of an offset hold.
std::optional<std::uint32_t> packedBase(const unsigned char* data, int stride, int width,
                                        int height) {
    std::uint32_t low[3] = {255, 255, 255};
    std::uint32_t high[3] = {0, 0, 0};
    for (int row = 0; row < height; ++row) {
        const std::uint32_t* pixels = rowOf(data, stride, row);
        for (int column = 0; column < width; ++column) {
            const std::uint32_t pixel = pixels[column];
            if (pixel >> 24 != 0xff) {
                return std::nullopt;
            }
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t level = (pixel >> (16 - 8 * channel)) & 0xff;
                low[channel] = std::min(low[channel], level);
                high[channel] = std::max(high[channel], level);
            }
        }
    }
    const std::uint32_t reach[3] = {31, 63, 31};
    for (int channel = 0; channel < 3; ++channel) {
        if (high[channel] > low[channel] + reach[channel]) {
            return std::nullopt;
        }
    }
    return 0xff000000u | low[0] << 16 | low[1] << 8 | low[2];
}

}  // namespace

GroundLayer::GroundLayer(cairo_surface_t* image)
    : image_(image),
      width_(cairo_image_surface_get_width(image)),
      height_(cairo_image_surface_get_height(image)) {
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    if (!data || cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32) {
        return;
    }
    std::optional<std::uint32_t> base = packedBase(data, stride, width_, height_);
    if (!base) {
        return;
    }
    base_ = *base;
    offsets_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    for (int row = 0; row < height_; ++row) {
        const std::uint32_t* pixels = rowOf(data, stride, row);
        std::uint16_t* out = offsets_.data() + static_cast<std::ptrdiff_t>(row) * width_;
        for (int column = 0; column < width_; ++column) {
            const std::uint32_t offset = pixels[column] - base_;  // no channel borrows
            out[column] = static_cast<std::uint16_t>((offset >> 16 & 0x1f) << 11 |
                                                     (offset >> 8 & 0x3f) << 5 | (offset & 0x1f));
        }
    }
    cairo_surface_destroy(image_);
    image_ = nullptr;
}

GroundLayer::~GroundLayer() {
    if (image_) {
        cairo_surface_destroy(image_);
    }
}

GroundPixels GroundLayer::row(int row, int left) const {
    if (image_) {
        return {rowOf(cairo_image_surface_get_data(image_), cairo_image_surface_get_stride(image_),
                      row) +
                    left,
                nullptr, 0};
    }
    return {nullptr, offsets_.data() + static_cast<std::ptrdiff_t>(row) * width_ + left, base_};
}

void GroundLayer::copyRow(int row, int left, int count, std::uint32_t* to) const {
    this->row(row, left).copyTo(to, count);
}

cairo_surface_t* GroundLayer::image(PixelRect box) const {
    box = box.intersected({0, 0, width_, height_});
    if (box.empty()) {
        box = {};
    }
    cairo_surface_t* part = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, box.width, box.height);
    unsigned char* data = cairo_image_surface_get_data(part);
    if (data) {
        const int stride = cairo_image_surface_get_stride(part);
        for (int row = 0; row < box.height; ++row) {
            copyRow(
                box.y + row, box.x, box.width,
                reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride));
        }
        cairo_surface_mark_dirty(part);
    }
    return part;
}

}  // namespace floodmark
