#pragma once

namespace floodmark {

// Timestamps are seconds since 1970 UTC. A timestamp that was never set holds this instant
// (0001-01-01T00:00:00Z): far enough back that every "has enough time passed" check succeeds.
inline constexpr double distantPast = -62135596800.0;

// The wall clock, in seconds since 1970 UTC.
double currentTime();

}  // namespace floodmark
