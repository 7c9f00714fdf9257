#pragma once

#include "platform/draw/Geometry.h"

#include <array>

namespace floodmark {

// The fixed colours of every calm drawing, and the rule by which depth brightens them.
namespace CalmPalette {

// The canvas of every calm style.
inline constexpr Color aGround = Color::fromBytes(8, 10, 14);

inline constexpr std::array<Color, 6> seedA{
    Color::fromBytes(14, 36, 50), Color::fromBytes(42, 72, 74),    Color::fromBytes(29, 36, 64),
    Color::fromBytes(53, 42, 71), Color::fromBytes(106, 122, 115), Color::fromBytes(193, 200, 163),
};
inline constexpr std::array<Color, 6> seedB{
    Color::fromBytes(153, 39, 40),   Color::fromBytes(53, 39, 50),
    Color::fromBytes(249, 243, 126), Color::fromBytes(219, 218, 116),
    Color::fromBytes(187, 144, 76),  Color::fromBytes(119, 107, 82),
};
inline constexpr std::array<Color, 4> exciteA{
    Color::fromBytes(240, 134, 66),
    Color::fromBytes(240, 205, 66),
    Color::fromBytes(174, 240, 66),
    Color::fromBytes(240, 66, 142),
};
inline constexpr std::array<Color, 3> exciteB{
    Color::fromBytes(66, 240, 238),
    Color::fromBytes(66, 240, 103),
    Color::fromBytes(60, 69, 246),
};

// `colour` at alpha `base` × (0.55 + 0.45 × depth): a shallow scene shows every mark at 55 %.
Color deepened(Color colour, double base, double depth);

// `from` moved toward `to` by `share` in red, green and blue; opaque.
Color mixed(Color from, Color to, double share);

}  // namespace CalmPalette

}  // namespace floodmark
