#pragma once

#include <optional>
#include <string_view>

namespace floodmark {

// A wall-clock time as people read it in a named time zone ("Europe/Berlin", "UTC").
struct WallTime {
    int year = 0;   // 0: the next such time after `now` (month and day taken from it too)
    int month = 0;  // 1-12; 0 with year 0: the next such hour and minute
    int day = 0;
    int hour = 0;  // 0-23
    int minute = 0;
};

// Seconds since 1970 of `wall` in `zone` (empty: the system's own), the first one after `now` where
// the wall time leaves out the day or year; none for a zone name the system does not know or a time
// out of range. Changes the process's TZ for the call: for single-threaded command-line programs
// only.
std::optional<double> secondsOfWallTime(const WallTime& wall, std::string_view zone, double now);

}  // namespace floodmark
