#include "FloodmarkSaver/frame/FloodmarkFrame.h"

#include "FloodmarkSaver/frame/FloodmarkRendererLevels.h"

namespace floodmark {

SustainSeries absentSustain() {
    return SustainSeries(5);
}

FloodmarkFrame FloodmarkFrame::resting() {
    return FloodmarkFrame{.y = FloodmarkRendererLevels::ambientResting, .x = 0};
}

}  // namespace floodmark
