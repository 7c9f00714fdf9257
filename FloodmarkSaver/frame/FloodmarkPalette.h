#pragma once

#include "platform/draw/Geometry.h"

#include <optional>

namespace floodmark {

// The colours of the standard scene.
namespace FloodmarkPalette {

inline constexpr Color canvas = Color::fromBytes(22, 23, 25);
inline constexpr Color canvasGlow = Color::fromBytes(33, 35, 39);
inline constexpr Color ink = Color::fromBytes(236, 236, 239);
inline constexpr Color ink2 = Color::fromBytes(166, 166, 174);
inline constexpr Color ink3 = Color::fromBytes(108, 108, 117);

// The tint of the water for a severity: green to red-orange from 0 to 4 and above; none below 0.
std::optional<Color> stateTint(int severity);

// The state tint, or ink2 when there is none.
Color waterTint(int severity);

}  // namespace FloodmarkPalette

}  // namespace floodmark
