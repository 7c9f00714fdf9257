#include "platform/draw/DitheredGradient.h"

#include "platform/draw/DeferredLayer.h"
#include "platform/draw/Dither.h"
#include "platform/draw/GradientBlend.h"
#include "platform/draw/PathRows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace floodmark {

namespace {

struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// Device pixels of the user-space box (x1, y1)–(x2, y2), rounded outward.
PixelBox deviceBox(cairo_t* cairo, double x1, double y1, double x2, double y2) {
    double xs[4] = {x1, x2, x1, x2};
    double ys[4] = {y1, y1, y2, y2};
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        cairo_user_to_device(cairo, &xs[i], &ys[i]);
        left = std::min(left, xs[i]);
        right = std::max(right, xs[i]);
        top = std::min(top, ys[i]);
        bottom = std::max(bottom, ys[i]);
    }
    auto whole = [](double value) { return static_cast<int>(std::clamp(value, -1e6, 1e6)); };
    return {whole(std::floor(left)), whole(std::floor(top)), whole(std::ceil(right)),
            whole(std::ceil(bottom))};
}

PixelBox intersect(PixelBox a, PixelBox b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// Where along the gradient a user-space point lies: 0 at its start, 1 at its end.
double place(const GradientSpec& gradient, double x, double y) {
    double dx = x - gradient.start.x;
    double dy = y - gradient.start.y;
    if (gradient.radius > 0) {
        return std::sqrt(dx * dx + dy * dy) / gradient.radius;
    }
    double ex = gradient.end.x - gradient.start.x;
    double ey = gradient.end.y - gradient.start.y;
    double length = ex * ex + ey * ey;
    return length > 0 ? (dx * ex + dy * ey) / length : 0;
}

// How many of the first `count` coverage values are `value`, eight at a time where it can.
int leadingRun(const unsigned char* cover, int count, unsigned char value) {
    const std::uint64_t eightOfThem = std::uint64_t{value} * 0x0101010101010101u;
    int end = 0;
    for (std::uint64_t eight; end + 8 <= count; end += 8) {
        std::memcpy(&eight, cover + end, 8);
        if (eight != eightOfThem) {
            break;
        }
    }
    while (end < count && cover[end] == value) {
        ++end;
    }
    return end;
}

// One colour along the row, as a gradient across the rows gives, over `from` (the row's own
// pixels or a layer's under them) into `pixels`: the fully covered pixels, nearly all of them,
// take one source in integers only. `offsets` is the dither row from column 0, two tiles wide.
void layRow(GroundPixels from, std::uint32_t* pixels, const unsigned char* cover,
            const std::int32_t* offsets, int firstColumn, int count, const GradientSpec& gradient,
            double s) {
    s = std::clamp(s, 0.0, 1.0);
    GradientSource full;
    full.update(gradient, s, 255);
    GradientSource partial;
    for (int i = 0; i < count;) {
        const int end = cover ? i + leadingRun(cover + i, count - i, 255) : count;
        if (i < end) {
            blendRun(from.at(i), pixels + i, offsets, firstColumn + i, end - i, full);
            i = end;
        }
        if (i == count) {
            break;
        }
        // The air above a crossing surface, most of such a row: the ground as it is.
        const int bare = leadingRun(cover + i, count - i, 0);
        if (bare > 0) {
            from.at(i).copyTo(pixels + i, bare);
            i += bare;
            continue;
        }
        partial.update(gradient, s, cover[i]);
        pixels[i] = partial.over(from[i], offsets[(firstColumn + i) % ditherTile]);
        ++i;
    }
}

// A linear gradient is transparent along a whole row when it is at both ends, since its
// alpha changes monotonically between them (the air above the surface glow, mostly).
bool transparentRow(const GradientSpec& gradient, double x1, double y1, double x2, double y2) {
    if (gradient.radius > 0) {
        return false;
    }
    auto alphaAt = [&](double x, double y) {
        double s = place(gradient, x, y);
        if (!gradient.extend && (s < 0 || s > 1)) {
            return 0.0;
        }
        s = std::clamp(s, 0.0, 1.0);
        return gradient.from.alpha + (gradient.to.alpha - gradient.from.alpha) * s;
    };
    return alphaAt(x1, y1) <= 0 && alphaAt(x2, y2) <= 0;
}

}  // namespace

void paintDitheredGradient(cairo_t* cairo, const GradientSpec& gradient,
                           const std::function<void(cairo_t*)>& addFillPath, DeferredLayer* under) {
    cairo_surface_t* target = cairo_get_target(cairo);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32) {
        return;
    }
    double x1, y1, x2, y2;
    cairo_clip_extents(cairo, &x1, &y1, &x2, &y2);
    PixelBox box = intersect(
        deviceBox(cairo, x1, y1, x2, y2),
        {0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target)});
    std::vector<RowCover> covers;  // from the first row of the box; none: all whole
    if (addFillPath) {
        cairo_new_path(cairo);
        addFillPath(cairo);
        cairo_fill_extents(cairo, &x1, &y1, &x2, &y2);
        box = intersect(box, deviceBox(cairo, x1, y1, x2, y2));
        covers = pathRowCovers(cairo, box.left, box.top, box.right, box.bottom);
        cairo_new_path(cairo);
    }
    const int coversTop = box.top;
    cairo_matrix_t toUser;
    cairo_get_matrix(cairo, &toUser);
    cairo_matrix_invert(&toUser);
    // The user-space centres of the first and last pixel of a row of the box.
    auto rowEnds = [&](int row, double ends[4]) {
        ends[0] = box.left + 0.5, ends[1] = row + 0.5;
        cairo_matrix_transform_point(&toUser, &ends[0], &ends[1]);
        const int last = box.right - box.left - 1;
        ends[2] = ends[0] + toUser.xx * last, ends[3] = ends[1] + toUser.yx * last;
    };
    auto transparent = [&](int row) {
        double ends[4];
        rowEnds(row, ends);
        return transparentRow(gradient, ends[0], ends[1], ends[2], ends[3]);
    };
    // Rows with nothing to lay over them need no coverage either (the air above the glow).
    while (!box.empty() && transparent(box.top)) {
        ++box.top;
    }
    while (!box.empty() && transparent(box.bottom - 1)) {
        --box.bottom;
    }
    if (box.empty()) {
        return;
    }
    cairo_surface_flush(target);
    unsigned char* data = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    GradientSource source;
    auto paintRow = [&](int row, const unsigned char* cover) {
        auto* pixels =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        const std::int32_t* offsets = ditherTileRow(row);
        if (transparent(row)) {
            return;  // nothing to lay over it: the pixels stay as they are
        }
        double ends[4];
        rowEnds(row, ends);
        // User space is an affine map of device space: step along the row.
        double x = ends[0], y = ends[1];
        const double stepX = toUser.xx, stepY = toUser.yx;
        // Along a row a linear gradient's place changes by a fixed step (none when it runs
        // across the rows, as the scene's do).
        const bool linear = !(gradient.radius > 0);
        const double rowPlace = place(gradient, x, y);
        const double placeStep = linear ? place(gradient, x + stepX, y + stepY) - rowPlace : 0;
        if (linear && placeStep == 0) {
            if (!gradient.extend && (rowPlace < 0 || rowPlace > 1)) {
                return;
            }
            GroundPixels from{pixels + box.left, nullptr, 0};
            if (under && !cover) {
                from = under->take(row, box.left, box.right).value_or(from);
            } else if (under) {
                under->settle(row);
            }
            layRow(from, pixels + box.left, cover, offsets, box.left, box.right - box.left,
                   gradient, rowPlace);
            return;
        }
        if (under) {
            under->settle(row);
        }
        for (int column = box.left; column < box.right; ++column, x += stepX, y += stepY) {
            int coverage = cover ? cover[column - box.left] : 255;
            if (coverage == 0) {
                continue;
            }
            double s = linear ? rowPlace + placeStep * (column - box.left) : place(gradient, x, y);
            if (!gradient.extend && (s < 0 || s > 1)) {
                continue;
            }
            source.update(gradient, std::clamp(s, 0.0, 1.0), coverage);
            pixels[column] = source.over(pixels[column], offsets[column % ditherTile]);
        }
    };
    // Only the rows that the path's edges cross are rasterised, a run of them at a time: the
    // others are covered wholly or not at all.
    auto coverOf = [&](int row) {
        return covers.empty() ? RowCover::whole : covers[static_cast<std::size_t>(row - coversTop)];
    };
    for (int row = box.top; row < box.bottom;) {
        if (coverOf(row) != RowCover::partial) {
            if (coverOf(row) == RowCover::whole) {
                paintRow(row, nullptr);
            }
            ++row;
            continue;
        }
        int end = row;
        while (end < box.bottom && coverOf(end) == RowCover::partial) {
            ++end;
        }
        cairo_surface_t* mask = pathCoverage(cairo, box.left, row, box.right, end, addFillPath);
        const unsigned char* maskData = cairo_image_surface_get_data(mask);
        const int maskStride = cairo_image_surface_get_stride(mask);
        for (int band = row; band < end; ++band) {
            paintRow(band, maskData + (band - row) * maskStride);
        }
        cairo_surface_destroy(mask);
        row = end;
    }
    cairo_surface_mark_dirty_rectangle(target, box.left, box.top, box.right - box.left,
                                       box.bottom - box.top);
}

}  // namespace floodmark
