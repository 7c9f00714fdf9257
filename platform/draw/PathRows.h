#pragma once

#include <cairo.h>

#include <functional>
#include <vector>

namespace floodmark {

// How a filled path covers one row of device pixels across a box.
enum class RowCover : unsigned char { none, whole, partial };

// For each row from `top` to `bottom` (exclusive) of the columns `left` to `right`, how Cairo's
// non-zero fill of `cairo`'s current path covers it: a row that no edge crosses or ends in is
// covered wholly or not at all, the same in every column; the others are partial and need
// their coverage rasterised. Vertical edges on a whole column at or outside the box's sides
// (a region's own sides) leave the rows they span whole.
std::vector<RowCover> pathRowCovers(cairo_t* cairo, int left, int top, int right, int bottom);

// The coverage of the path that `addFillPath` adds, in `cairo`'s user space, over the device
// pixels of the box: an A8 image, 0…255 a pixel, as Cairo fills it. The caller destroys it.
cairo_surface_t* pathCoverage(cairo_t* cairo, int left, int top, int right, int bottom,
                              const std::function<void(cairo_t*)>& addFillPath);

}  // namespace floodmark
