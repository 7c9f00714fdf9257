#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/Geometry.h"

#include <optional>

namespace floodmark::SceneDamage {

// What drawing `next` changes in a picture that shows `drawn`, in points (origin bottom-left):
// a band of whole rows around the surface, or nothing at all (an empty rectangle), or
// everything (none) when the tint, style, motion setting or anything of a calm style changed.
// The canvas and its glow, the body below the lowest trough of a level that did not move,
// and the air above the surface glow are the same in both pictures.
std::optional<Rect> between(const FloodmarkFrame& drawn, const FloodmarkFrame& next, Size size);

// The rows of the chrome's clock and message, which is all of the chrome that changes with
// their text or fade (the corner mark stays).
Rect chromeText(Size size);

}  // namespace floodmark::SceneDamage
