#include "FloodmarkSaver/calm/FiveFold.h"

#include <numbers>

namespace floodmark {

void drawFiveFold(DrawingContext& context, const std::function<void()>& drawSector) {
    for (int k = 0; k < 5; ++k) {
        for (bool mirrored : {false, true}) {
            context.save();
            context.rotate(k * 2 * std::numbers::pi / 5);
            if (mirrored) {
                context.scale(-1, 1);
            }
            drawSector();
            context.restore();
        }
    }
}

}  // namespace floodmark
