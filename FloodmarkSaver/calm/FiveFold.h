#pragma once

#include "platform/draw/DrawingContext.h"

#include <functional>

namespace floodmark {

// Calls `drawSector` ten times: turned by each fifth of a circle, first plain, then mirrored
// across the vertical axis, each inside its own save and restore.
void drawFiveFold(DrawingContext& context, const std::function<void()>& drawSector);

}  // namespace floodmark
