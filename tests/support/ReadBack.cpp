#include "support/ReadBack.h"

#include <cairo.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <regex>

namespace floodmark::fixtures {

PngPixel pngPixel(const std::string& path, int x, int y) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    PngPixel pixel;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
        x < cairo_image_surface_get_width(image) && y < cairo_image_surface_get_height(image)) {
        cairo_surface_flush(image);
        const unsigned char* row =
            cairo_image_surface_get_data(image) +
            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(image);
        const unsigned char* bytes = row + static_cast<std::ptrdiff_t>(x) * 4;
        pixel = {bytes[2], bytes[1], bytes[0]};
    }
    cairo_surface_destroy(image);
    return pixel;
}

std::pair<int, int> pngSize(const std::string& path) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    std::pair<int, int> size{0, 0};
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        size = {cairo_image_surface_get_width(image), cairo_image_surface_get_height(image)};
    }
    cairo_surface_destroy(image);
    return size;
}

std::string protocolLog(const std::string& path) {
    std::ifstream file(path);
    std::string log{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    static const std::regex newerObject(R"(([A-Za-z_][A-Za-z0-9_]*)#(\d+))");
    return std::regex_replace(log, newerObject, "$1@$2");
}

}  // namespace floodmark::fixtures
