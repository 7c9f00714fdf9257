#pragma once

#include "platform/draw/GroundPixels.h"
#include "platform/draw/PixelRect.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace floodmark {

// The pixels of a layer drawn once and laid under pictures of its size. An opaque layer
// within 31 levels of one colour in red and blue and 63 in green (the standard ground: the
// canvas and a faint glow) is kept in 16 bits a pixel, exactly: half of what a pass over it
// reads and of the memory it holds. Any other keeps its ARGB32 image.
class GroundLayer {
public:
    // Takes the ARGB32 image `image` over.
    explicit GroundLayer(cairo_surface_t* image);
    ~GroundLayer();
    GroundLayer(const GroundLayer&) = delete;
    GroundLayer& operator=(const GroundLayer&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    bool packed() const { return image_ == nullptr; }

    // The pixels of `row` from column `left` on.
    GroundPixels row(int row, int left) const;
    // Writes `count` pixels of `row` from column `left` to `to`.
    void copyRow(int row, int left, int count, std::uint32_t* to) const;
    // A copy of the pixels of `box` (within the layer) as an ARGB32 image, to be painted at
    // the box's top left corner. The caller destroys it.
    cairo_surface_t* image(PixelRect box) const;

private:
    cairo_surface_t* image_ = nullptr;  // null once packed
    std::vector<std::uint16_t> offsets_;
    std::uint32_t base_ = 0;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace floodmark
