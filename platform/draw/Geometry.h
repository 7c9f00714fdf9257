#pragma once

namespace floodmark {

// Drawing space: points, origin at the bottom-left corner, y up; angles in radians
// counter-clockwise from +x.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
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
