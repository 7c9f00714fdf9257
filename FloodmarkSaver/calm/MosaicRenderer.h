#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

namespace floodmark {

// The rose window of four-sided cells, their outer edges stroked.
namespace MosaicRenderer {

void draw(const FloodmarkFrame& frame, DrawingContext& context, Size size);
// One of the ten sectors, in the present (turned, perhaps mirrored) space.
void drawCell(DrawingContext& context, double radius, double time, const SustainSeries& values,
              double level, double depth, double burst);

}  // namespace MosaicRenderer

}  // namespace floodmark
