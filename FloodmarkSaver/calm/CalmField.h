#pragma once

#include "platform/draw/DrawingContext.h"

#include <vector>

namespace floodmark {

// 220 drifting particles, dust and stars, in the sky above the water of bloom and unfold.
namespace CalmField {

struct Particle {
    enum class Kind { dust, star };
    double ux;  // resting place as shares of the width and of the band
    double uy;
    double size;  // diameter, points
    int colorIndex;
    double phase;
    Kind kind;
};

// The same table in every process, built once.
const std::vector<Particle>& particles();

void draw(DrawingContext& context, Size size, double waterTop, double time, double level,
          double depth, bool reduceMotion);

}  // namespace CalmField

}  // namespace floodmark
