#include "FloodmarkSaver/calm/CalmClock.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::CalmClock {

Moment moment(double time, bool reduceMotion) {
    return reduceMotion ? Moment{0, 0} : Moment{time, burst(time)};
}

double levelFactor(double level) {
    return 0.3 + 0.7 * std::clamp(level, 0.0, 1.0);
}

double breath(double time) {
    return (1 - std::cos(2 * std::numbers::pi * time / breathPeriod)) / 2;
}

double burst(double time) {
    double p = std::fmod(time, burstPeriod) / burstPeriod;
    double x = std::fabs(p - 0.5);
    if (!(x < 1.0 / 12)) {
        return 0;
    }
    double a = 1 - 12 * x;
    return a * a * (3 - 2 * a);
}

}  // namespace floodmark::CalmClock
