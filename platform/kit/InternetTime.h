#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// An RFC 3339 internet date-time ("2025-03-01T09:30:00Z", "2025-03-01T11:30:00.25+02:00"):
// "T" between date and time, fractional seconds optional, "Z" or a ±hh:mm offset required.
// Seconds since 1970 UTC, for any year of four digits; absent for anything else.
std::optional<double> parseInternetTime(std::string_view text);

// `time` in UTC with three fractional digits and "Z": 2025-03-01T09:30:00.250Z.
std::string formatInternetTime(double time);

}  // namespace floodmark
