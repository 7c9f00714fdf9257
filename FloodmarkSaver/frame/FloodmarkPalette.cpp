#include "FloodmarkSaver/frame/FloodmarkPalette.h"

namespace floodmark::FloodmarkPalette {

std::optional<Color> stateTint(int severity) {
    switch (severity) {
        case 0:
            return Color{0.663, 0.902, 0.42, 1};
        case 1:
            return Color{0.463, 0.824, 0.537, 1};
        case 2:
            return Color{0.373, 0.49, 0.322, 1};
        case 3:
            return Color{1.0, 0.682, 0.0, 1};
        default:
            if (severity < 0) {
                return std::nullopt;
            }
            return Color{0.941, 0.329, 0.027, 1};
    }
}

Color waterTint(int severity) {
    return stateTint(severity).value_or(ink2);
}

}  // namespace floodmark::FloodmarkPalette
