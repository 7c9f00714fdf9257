#include "support/PictureDifference.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace floodmark::fixtures {

PictureDifference differenceOfPngs(const std::string& seen, const std::string& expected, int far,
                                   int firstRow, int endRow) {
    PictureDifference difference;
    cairo_surface_t* first = cairo_image_surface_create_from_png(seen.c_str());
    cairo_surface_t* second = cairo_image_surface_create_from_png(expected.c_str());
    int width = cairo_image_surface_get_width(first);
    int height = cairo_image_surface_get_height(first);
    int top = std::clamp(firstRow, 0, height);
    int bottom = std::clamp(endRow, top, height);
    if (cairo_surface_status(first) == CAIRO_STATUS_SUCCESS &&
        cairo_surface_status(second) == CAIRO_STATUS_SUCCESS && width > 0 && height > 0 &&
        width == cairo_image_surface_get_width(second) &&
        height == cairo_image_surface_get_height(second) && bottom > top) {
        cairo_surface_flush(first);
        cairo_surface_flush(second);
        double total = 0;
        long farPixels = 0;
        for (int y = top; y < bottom; ++y) {
            const unsigned char* a =
                cairo_image_surface_get_data(first) +
                static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(first);
            const unsigned char* b =
                cairo_image_surface_get_data(second) +
                static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(second);
            for (int x = 0; x < width; ++x) {
                int largest = 0;
                for (int channel = 0; channel < 3; ++channel) {
                    int delta = std::abs(a[x * 4 + channel] - b[x * 4 + channel]);
                    total += delta;
                    largest = std::max(largest, delta);
                }
                farPixels += largest > far ? 1 : 0;
            }
        }
        double pixels = static_cast<double>(width) * (bottom - top);
        difference.mean = total / (3.0 * pixels);
        difference.farShare = static_cast<double>(farPixels) / pixels;
    }
    cairo_surface_destroy(first);
    cairo_surface_destroy(second);
    return difference;
}

bool blowUpPng(const std::string& from, const std::string& to, double factor) {
    cairo_surface_t* source = cairo_image_surface_create_from_png(from.c_str());
    bool written = false;
    if (cairo_surface_status(source) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_t* target = cairo_image_surface_create(
            CAIRO_FORMAT_ARGB32,
            static_cast<int>(std::lround(cairo_image_surface_get_width(source) * factor)),
            static_cast<int>(std::lround(cairo_image_surface_get_height(source) * factor)));
        cairo_t* context = cairo_create(target);
        cairo_scale(context, factor, factor);
        cairo_set_source_surface(context, source, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(context), CAIRO_FILTER_NEAREST);
        cairo_paint(context);
        cairo_destroy(context);
        written = cairo_surface_write_to_png(target, to.c_str()) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(target);
    }
    cairo_surface_destroy(source);
    return written;
}

}  // namespace floodmark::fixtures
