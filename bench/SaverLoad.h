#pragma once

// What the host benchmarks share: the process's own CPU time, and the companion's water
// written as a load to draw.

namespace floodmark::bench {

// Seconds of CPU this process has used, every thread counted.
double processCpuSeconds();

// The companion's away state with the water at `y` and, when given, a fresh impulse.
void writeAwayState(double y, const char* impulse);

}  // namespace floodmark::bench
