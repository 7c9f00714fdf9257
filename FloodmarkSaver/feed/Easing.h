#pragma once

namespace floodmark {

// The share of the gap to its target that an exponential ease closes in `dt` seconds:
// 1 − e^(−dt/τ). A wall clock that moved back (dt < 0) closes nothing, where the formula
// would extrapolate far past the target.
double easingFactor(double dt, double tau);

// One easing step of `current` toward `target`, with `riseTau` while the target is at or
// above the value and `fallTau` while it is below.
double easeToward(double current, double target, double dt, double riseTau, double fallTau);

}  // namespace floodmark
