#pragma once

#include <algorithm>

namespace floodmark {

// A rectangle of whole device pixels, row 0 at the top as in the picture's memory: what a
// picture changed by, and what a host puts on the screen.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelRect&) const = default;

    // The smallest rectangle holding both; an empty one adds nothing.
    PixelRect united(const PixelRect& other) const {
        if (other.empty()) {
            return *this;
        }
        if (empty()) {
            return other;
        }
        int left = std::min(x, other.x);
        int top = std::min(y, other.y);
        int right = std::max(x + width, other.x + other.width);
        int bottom = std::max(y + height, other.y + other.height);
        return {left, top, right - left, bottom - top};
    }

    PixelRect intersected(const PixelRect& other) const {
        int left = std::max(x, other.x);
        int top = std::max(y, other.y);
        int right = std::min(x + width, other.x + other.width);
        int bottom = std::min(y + height, other.y + other.height);
        if (right <= left || bottom <= top) {
            return {};
        }
        return {left, top, right - left, bottom - top};
    }
};

}  // namespace floodmark
