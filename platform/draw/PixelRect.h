#pragma once

#include "platform/draw/Geometry.h"

#include <algorithm>
#include <cmath>

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

// The whole pixels of a `width` × `height` picture at `scale` pixels a point that `rect`
// (points, origin bottom-left) touches.
inline PixelRect pixelsCovering(Rect rect, double scale, int width, int height) {
    auto clamped = [](double value, int limit) {
        return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(limit)));
    };
    int left = clamped(std::floor(rect.x * scale), width);
    int right = clamped(std::ceil((rect.x + rect.width) * scale), width);
    int top = clamped(std::floor(height - (rect.y + rect.height) * scale), height);
    int bottom = clamped(std::ceil(height - rect.y * scale), height);
    if (!(rect.width > 0) || !(rect.height > 0) || right <= left || bottom <= top) {
        return {};
    }
    return {left, top, right - left, bottom - top};
}

}  // namespace floodmark
