#include "FloodmarkSaver/calm/CalmClock.h"

#include <cmath>
#include <numbers>

namespace floodmark::CalmClock {

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
