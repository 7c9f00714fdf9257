#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "FloodmarkSaver/frame/FloodmarkRendererLevels.h"
#include "platform/draw/DrawingContext.h"

#include <string_view>

namespace floodmark {

// The standard water scene and the chrome text, drawn through a DrawingContext. The GPU path
// and the motion gate take their geometry from here too, so that all draw the same picture.
namespace FloodmarkRenderer {

inline constexpr double ambientRestingLevel = FloodmarkRendererLevels::ambientResting;

// Tint alphas of the water's layers.
inline constexpr double bodyAlphaTop = 0.08;
inline constexpr double bodyAlphaBottom = 0.22;
inline constexpr double surfaceRunDimAlpha = 0.16;
inline constexpr double surfaceRunLitAlpha = 0.42;
inline constexpr double surfaceGlowAlpha = 0.1;
inline constexpr double rippleAlpha = 0.38;
inline constexpr double originGlowAlpha = 0.55;
// Seconds per cycle of the two surface waves.
inline constexpr double surfacePeriodA = 11;
inline constexpr double surfacePeriodB = 17;

// The corner mark: a domain nobody else owns.
inline constexpr std::string_view cornerText = "tolvera.example";

// Lengths, in the unit of the height or width given.
double amplitude(double height, bool reduceMotion);
double waterTop(double level, double height);
double glowHeight(double height);
double surfaceLineWidth(double height);
double rippleRadius(double age, double height);
// The height of the surface at `x`: two sine waves crossing the width, within ±amplitude of
// the rest line `top`.
double surfaceY(double x, double width, double top, double time, double amplitude);
// The greatest vertical speed of any point of the surface, per second.
double surfaceSpeedBound(double amplitude);

// Straight segments of about 16 points, never fewer than 24.
int surfaceSegments(double width);

void drawScene(const FloodmarkFrame& frame, DrawingContext& context, Size size);
void drawChrome(const FloodmarkFrame& frame, DrawingContext& context, Size size);

}  // namespace FloodmarkRenderer

}  // namespace floodmark
