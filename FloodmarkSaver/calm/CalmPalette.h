#pragma once

#include "platform/draw/Geometry.h"

namespace floodmark {

// Colours of the calm styles.
namespace CalmPalette {

// The canvas of every calm style.
inline constexpr Color aGround = Color::fromBytes(8, 10, 14);

}  // namespace CalmPalette

}  // namespace floodmark
