#include "support/Golden.h"

#include <cstdlib>
#include <cstring>

namespace floodmark::fixtures {

namespace {

std::array<int, 4> channels(const unsigned char* data, int stride, int column, int row) {
    std::uint32_t value;
    std::memcpy(&value, data + row * stride + column * 4, 4);
    return {static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
            static_cast<int>(value & 0xff), static_cast<int>(value >> 24)};
}

}  // namespace

PictureDifference compare(const CairoCanvas& canvas, cairo_surface_t* expected) {
    PictureDifference difference;
    cairo_surface_t* actual = canvas.surface();
    if (cairo_surface_status(expected) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_width(expected) != canvas.pixelWidth() ||
        cairo_image_surface_get_height(expected) != canvas.pixelHeight()) {
        return difference;
    }
    cairo_surface_flush(expected);
    const unsigned char* a = cairo_image_surface_get_data(actual);
    const unsigned char* b = cairo_image_surface_get_data(expected);
    int strideA = cairo_image_surface_get_stride(actual);
    int strideB = cairo_image_surface_get_stride(expected);
    double total = 0;
    long far = 0;
    for (int row = 0; row < canvas.pixelHeight(); ++row) {
        for (int column = 0; column < canvas.pixelWidth(); ++column) {
            auto left = channels(a, strideA, column, row);
            auto right = channels(b, strideB, column, row);
            int largest = 0;
            for (int channel = 0; channel < 4; ++channel) {
                int delta = std::abs(left[channel] - right[channel]);
                total += delta;
                largest = std::max(largest, delta);
            }
            far += largest > 24 ? 1 : 0;
        }
    }
    double pixels = static_cast<double>(canvas.pixelWidth()) * canvas.pixelHeight();
    difference.comparable = true;
    difference.meanChannelDifference = total / (pixels * 4);
    difference.shareOfFarPixels = static_cast<double>(far) / pixels;
    return difference;
}

PictureDifference compareWithGolden(const CairoCanvas& canvas, const std::string& name) {
    std::string path = std::string(FLOODMARK_GOLDEN_DIR) + "/" + name + ".png";
    if (const char* update = std::getenv("FLOODMARK_UPDATE_GOLDENS"); update && *update == '1') {
        canvas.writePng(path);
    }
    cairo_surface_t* expected = cairo_image_surface_create_from_png(path.c_str());
    PictureDifference difference = compare(canvas, expected);
    cairo_surface_destroy(expected);
    return difference;
}

}  // namespace floodmark::fixtures
