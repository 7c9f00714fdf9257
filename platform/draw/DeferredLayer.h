#pragma once

#include "platform/draw/GroundLayer.h"
#include "platform/draw/PixelRect.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace floodmark {

// A layer laid under a box of a picture, its rows copied only when needed: what is drawn over
// a whole row next may read the layer's pixels and write its blend straight into the picture,
// in one pass instead of a copy and a blend. The picture is an ARGB32 image of the layer's size.
class DeferredLayer {
public:
    DeferredLayer(std::shared_ptr<const GroundLayer> layer, cairo_surface_t* target, PixelRect box);
    ~DeferredLayer();
    DeferredLayer(const DeferredLayer&) = delete;
    DeferredLayer& operator=(const DeferredLayer&) = delete;

    // Whether `layer` can be laid under `target` this way.
    static bool fits(const GroundLayer& layer, cairo_surface_t* target);

    // The layer's pixels from column `left` of `row`, for a caller that writes every pixel of
    // the box's columns of that row from them: the row counts as copied. When the row is owed
    // but the columns are not the box's, it is copied now; none when the picture already holds
    // the row as it should.
    std::optional<GroundPixels> take(int row, int left, int right);
    // Copies `row` if it is still owed.
    void settle(int row);
    // Copies every row still owed.
    void settleAll();

private:
    bool owes(int row) const;
    void copyRow(int row);

    std::shared_ptr<const GroundLayer> layer_;
    cairo_surface_t* target_;
    PixelRect box_;
    std::vector<bool> owed_;  // from the box's top row
    int owedRows_ = 0;
};

}  // namespace floodmark
