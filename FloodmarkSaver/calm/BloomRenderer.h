#pragma once

#include "platform/draw/DrawingContext.h"

#include <array>
#include <vector>

namespace floodmark {

// A six-petal cobalt flower that breathes, turns and leaves fading echoes of its ring.
namespace BloomRenderer {

inline constexpr Color cobalt = Color::fromBytes(76, 125, 255);
// One half breath, seconds.
inline constexpr double phase = 5.5;

struct Petals {
    double scale;
    double opacity;
    double rotation;  // radians
    bool operator==(const Petals&) const = default;
};

Petals petals(double time);
// The echoes visible at `time`, oldest first.
std::vector<Petals> stamps(double time);
// When, in seconds into a half breath, the ring leaves an echo.
std::vector<double> tickOffsets(bool isInhale);
const std::vector<double>& inhaleOffsets();
const std::vector<double>& exhaleOffsets();

Path petalA(double size);
Path petalB(double size);

// Hue in turns, saturation and value, all 0…1.
std::array<double, 3> rgbToHSV(double red, double green, double blue);
std::array<double, 3> hsvToRGB(double hue, double saturation, double value);

void draw(DrawingContext& context, Size size, double time, double depth, bool reduceMotion);

}  // namespace BloomRenderer

}  // namespace floodmark
