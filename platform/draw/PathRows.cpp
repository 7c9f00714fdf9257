#include "platform/draw/PathRows.h"

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

struct Edge {
    double x0, y0, x1, y1;
};

// The path's edges in device pixels, every subpath closed as a fill closes it.
std::vector<Edge> deviceEdges(cairo_t* cairo) {
    std::vector<Edge> edges;
    cairo_path_t* path = cairo_copy_path_flat(cairo);
    if (path->status != CAIRO_STATUS_SUCCESS) {
        cairo_path_destroy(path);
        return edges;
    }
    double startX = 0, startY = 0, lastX = 0, lastY = 0;
    bool open = false;
    auto closeSubpath = [&] {
        if (open && (lastX != startX || lastY != startY)) {
            edges.push_back({lastX, lastY, startX, startY});
        }
        open = false;
    };
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t& header = path->data[i];
        if (header.header.type == CAIRO_PATH_CLOSE_PATH) {
            closeSubpath();
            lastX = startX, lastY = startY;
            continue;
        }
        double x = path->data[i + 1].point.x;
        double y = path->data[i + 1].point.y;
        cairo_user_to_device(cairo, &x, &y);
        if (header.header.type == CAIRO_PATH_MOVE_TO) {
            closeSubpath();
            startX = lastX = x, startY = lastY = y;
        } else {
            if (!open) {
                startX = lastX, startY = lastY;
            }
            edges.push_back({lastX, lastY, x, y});
            lastX = x, lastY = y;
        }
        open = true;
    }
    closeSubpath();
    cairo_path_destroy(path);
    return edges;
}

bool whole(double value) {
    return value == std::floor(value);
}

}  // namespace

std::vector<RowCover> pathRowCovers(cairo_t* cairo, int left, int top, int right, int bottom) {
    const int rows = std::max(bottom - top, 0);
    std::vector<RowCover> covers(static_cast<std::size_t>(rows), RowCover::none);
    std::vector<int> winding(static_cast<std::size_t>(rows) + 1, 0);
    auto rowOf = [&](double y) {
        return static_cast<int>(std::clamp(std::floor(y), top - 1.0, bottom + 0.0)) - top;
    };
    auto markPartial = [&](int from, int to) {  // rows of the box, `to` exclusive
        for (int row = std::max(from, 0); row < std::min(to, rows); ++row) {
            covers[static_cast<std::size_t>(row)] = RowCover::partial;
        }
    };
    for (const Edge& edge : deviceEdges(cairo)) {
        if (!std::isfinite(edge.x0 + edge.y0 + edge.x1 + edge.y1)) {
            markPartial(0, rows);
            continue;
        }
        const double low = std::min(edge.y0, edge.y1);
        const double high = std::max(edge.y0, edge.y1);
        const bool side = edge.x0 == edge.x1 && whole(edge.x0);
        if (side && edge.x0 >= right) {
            // Right of every pixel: a ray to the left never meets it.
        } else if (side && edge.x0 <= left) {
            // Left of every pixel: the rows it spans wind once more (or less) along the ray.
            int direction = edge.y1 > edge.y0 ? 1 : -1;
            winding[static_cast<std::size_t>(std::clamp(rowOf(std::ceil(low)), 0, rows))] +=
                direction;
            winding[static_cast<std::size_t>(std::clamp(rowOf(std::ceil(high)), 0, rows))] -=
                direction;
        } else {
            markPartial(rowOf(low), rowOf(std::ceil(high) - 1) + 1);
            continue;
        }
        // A side that ends inside a row covers only part of it.
        for (double end : {low, high}) {
            if (!whole(end)) {
                markPartial(rowOf(end), rowOf(end) + 1);
            }
        }
    }
    int turns = 0;
    for (int row = 0; row < rows; ++row) {
        turns += winding[static_cast<std::size_t>(row)];
        auto& cover = covers[static_cast<std::size_t>(row)];
        if (cover != RowCover::partial) {
            cover = turns != 0 ? RowCover::whole : RowCover::none;
        }
    }
    return covers;
}

cairo_surface_t* pathCoverage(cairo_t* cairo, int left, int top, int right, int bottom,
                              const std::function<void(cairo_t*)>& addFillPath) {
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, right - left, bottom - top);
    cairo_t* painter = cairo_create(mask);
    cairo_matrix_t matrix;
    cairo_get_matrix(cairo, &matrix);
    matrix.x0 -= left;
    matrix.y0 -= top;
    cairo_set_matrix(painter, &matrix);
    addFillPath(painter);
    cairo_set_fill_rule(painter, CAIRO_FILL_RULE_WINDING);
    cairo_fill(painter);
    cairo_destroy(painter);
    cairo_surface_flush(mask);
    return mask;
}

}  // namespace floodmark
