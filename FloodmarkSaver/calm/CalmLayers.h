#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

namespace floodmark {

// The layers a calm style draws over the standard scene's ground and water: the triangle
// strata, then the rose window (mosaic, splinter) or the particle field and the figure (bloom,
// unfold). `waterTop` is the rest line of the water and `level` its clamped level.
void drawCalmLayers(const FloodmarkFrame& frame, DrawingContext& context, Size size,
                    double waterTop, double level);

}  // namespace floodmark
