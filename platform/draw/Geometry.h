#pragma once

#include <algorithm>
#include <cmath>

namespace floodmark {

// Drawing space: points, origin at the bottom-left corner, y up; angles in radians
// counter-clockwise from +x.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

// Whole pixels across and down.
struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;

    // The pixels the size covers at `scale`, as every picture, buffer and window counts them:
    // each way rounded half away from zero and kept to 1…32767, the largest picture Cairo
    // makes (and X's largest window).
    PixelSize pixelsAt(double scale) const {
        auto whole = [scale](double points) {
            double pixels = std::round(points * scale);
            return pixels >= 1 ? static_cast<int>(std::min(pixels, 32767.0)) : 1;
        };
        return {whole(width), whole(height)};
    }
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

// sRGB components, 0…1, not premultiplied.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color fromBytes(int red, int green, int blue) {
        return {red / 255.0, green / 255.0, blue / 255.0, 1};
    }
    constexpr Color withAlpha(double value) const { return {red, green, blue, value}; }
    bool operator==(const Color&) const = default;
};

}  // namespace floodmark
