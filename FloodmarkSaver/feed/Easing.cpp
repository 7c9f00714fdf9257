#include "FloodmarkSaver/feed/Easing.h"

#include <cmath>

namespace floodmark {

double easingFactor(double dt, double tau) {
    if (!(dt > 0)) {
        return 0;
    }
    return 1 - std::exp(-dt / tau);
}

double easeToward(double current, double target, double dt, double riseTau, double fallTau) {
    double tau = target >= current ? riseTau : fallTau;
    return current + (target - current) * easingFactor(dt, tau);
}

}  // namespace floodmark
