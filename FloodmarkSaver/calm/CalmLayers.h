#pragma once

#include "FloodmarkSaver/feed/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

namespace floodmark {

// The layers a calm style draws over the standard scene's ground and water. `waterTop` is the
// rest line of the water and `level` its clamped level.
void drawCalmLayers(const FloodmarkFrame& frame, DrawingContext& context, Size size,
                    double waterTop, double level);

}  // namespace floodmark
