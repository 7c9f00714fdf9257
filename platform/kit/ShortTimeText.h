#pragma once

#include <string>

namespace floodmark {

// The wall-clock time of `now` (seconds since 1970 UTC) in the user's locale and time zone,
// short time style, no date. One formatter serves the whole process; an empty text when the
// locale data cannot give one.
std::string shortTimeText(double now);

}  // namespace floodmark
