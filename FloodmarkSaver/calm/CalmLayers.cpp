#include "FloodmarkSaver/calm/CalmLayers.h"

#include "FloodmarkSaver/calm/BloomRenderer.h"
#include "FloodmarkSaver/calm/CalmField.h"
#include "FloodmarkSaver/calm/MosaicRenderer.h"
#include "FloodmarkSaver/calm/SplinterRenderer.h"
#include "FloodmarkSaver/calm/TriangleStrata.h"
#include "FloodmarkSaver/calm/UnfoldRenderer.h"

#include <algorithm>

namespace floodmark {

namespace {
// Below this level there is no water for the sky to stand above.
constexpr double dryLevel = 0.001;
}  // namespace

void drawCalmLayers(const FloodmarkFrame& frame, DrawingContext& context, Size size,
                    double waterTop, double level) {
    const double w = size.width;
    const double h = size.height;
    if (frame.style.isFullBleed()) {
        TriangleStrata::draw(context, {0, 0, w, h}, frame.time, frame.y, frame.depth,
                             frame.reduceMotion);
        if (frame.style == SaverStyle::splinter) {
            SplinterRenderer::draw(frame, context, size);
        } else {
            MosaicRenderer::draw(frame, context, size);
        }
        return;
    }
    bool wet = level > dryLevel;
    double base = wet ? std::max(0.02 * h, 10.0) + waterTop : 0;
    if (base < h) {
        TriangleStrata::draw(context, {0, base, w, h - base}, frame.time, frame.y, frame.depth,
                             frame.reduceMotion);
    }
    CalmField::draw(context, size, wet ? waterTop : 0, frame.time, frame.y, frame.depth,
                    frame.reduceMotion);
    if (frame.style == SaverStyle::unfold) {
        UnfoldRenderer::draw(context, size, frame.time, frame.sustain, frame.depth,
                             frame.reduceMotion);
    } else {
        BloomRenderer::draw(context, size, frame.time, frame.depth, frame.reduceMotion);
    }
}

}  // namespace floodmark
