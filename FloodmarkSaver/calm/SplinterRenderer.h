#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

#include <cstdint>

namespace floodmark {

// The rose window split into triangular shards, thrown outward and brought back once in every
// burst period.
namespace SplinterRenderer {

// How far out the shards are at `phase` (0…1 of the burst period): 0 home, 1 fully out.
double flight(double phase);

void draw(const FloodmarkFrame& frame, DrawingContext& context, Size size);
void drawCell(DrawingContext& context, double radius, double time, const SustainSeries& values,
              double level, double depth, double burst, double flight, std::uint64_t cycle);

}  // namespace SplinterRenderer

}  // namespace floodmark
