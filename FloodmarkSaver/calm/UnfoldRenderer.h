#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

namespace floodmark {

// The five sustain values as a closed five-point figure, drawn ten times over faint spokes,
// slowly turning. Absent values draw a neutral ring.
namespace UnfoldRenderer {

void draw(DrawingContext& context, Size size, double time, const SustainSeries& sustain,
          double depth, bool reduceMotion);

}  // namespace UnfoldRenderer

}  // namespace floodmark
