#include "FloodmarkSaver/calm/CalmPalette.h"

#include <algorithm>

namespace floodmark::CalmPalette {

Color deepened(Color colour, double base, double depth) {
    return colour.withAlpha(base * (0.55 + 0.45 * std::clamp(depth, 0.0, 1.0)));
}

Color mixed(Color from, Color to, double share) {
    auto blend = [share](double a, double b) { return a + (b - a) * share; };
    return {blend(from.red, to.red), blend(from.green, to.green), blend(from.blue, to.blue), 1};
}

}  // namespace floodmark::CalmPalette
