#pragma once

namespace floodmark::CalmClock {

inline constexpr double breathPeriod = 11.0;
inline constexpr double burstPeriod = 66.0;

// 0 at every multiple of 11 s, 1 halfway between.
double breath(double time);
// A pulse once every 66 s: 1 at 33 s into a period, above 0 only from 27.5 s to 38.5 s.
double burst(double time);

}  // namespace floodmark::CalmClock
