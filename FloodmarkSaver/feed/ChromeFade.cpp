#include "FloodmarkSaver/feed/ChromeFade.h"

#include "FloodmarkSaver/feed/Easing.h"
#include "FloodmarkSaver/feed/FloodmarkFeed.h"

namespace floodmark {

double ChromeFade::step(bool visible, double now) {
    double target = visible ? 1 : 0;
    if (lastStepAt) {
        alpha += easingFactor(now - *lastStepAt, FloodmarkFeed::chromeYieldTau) * (target - alpha);
    } else {
        alpha = target;
    }
    lastStepAt = now;
    return alpha;
}

}  // namespace floodmark
