#include "FloodmarkSaver/calm/CalmLayers.h"

namespace floodmark {

// The calm styles are switched off for every frame the feed makes; their strata, particle
// field and figures arrive with the calm renderers. Until then a calm frame shows its ground
// and, where it has one, its water.
void drawCalmLayers(const FloodmarkFrame&, DrawingContext&, Size, double, double) {}

}  // namespace floodmark
