#pragma once

namespace floodmark::CalmClock {

inline constexpr double breathPeriod = 11.0;
inline constexpr double burstPeriod = 66.0;

// The time a calm drawing animates by and the burst at that time: both 0 under reduce motion,
// so that every frame stands still and nothing flares.
struct Moment {
    double time;
    double burst;
};
Moment moment(double time, bool reduceMotion);

// How strongly a calm layer shows at a water level: 30 % when empty, full when full.
double levelFactor(double level);

// 0 at every multiple of 11 s, 1 halfway between.
double breath(double time);
// A pulse once every 66 s: 1 at 33 s into a period, above 0 only from 27.5 s to 38.5 s.
double burst(double time);

}  // namespace floodmark::CalmClock
