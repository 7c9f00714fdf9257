#include "FloodmarkSaver/feed/FloodmarkFrame.h"

#include "FloodmarkSaver/scene/FloodmarkRendererLevels.h"

namespace floodmark {

SustainSeries absentSustain() {
    return SustainSeries(5);
}

FloodmarkFrame FloodmarkFrame::resting() {
    return FloodmarkFrame{.y = FloodmarkRendererLevels::ambientResting, .x = 0};
}

}  // namespace floodmark
