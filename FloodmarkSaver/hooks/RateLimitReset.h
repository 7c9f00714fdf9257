#pragma once

#include <optional>
#include <string_view>

namespace floodmark {

// When a rate limit lifts, read from the text Claude Code shows when it stops on one (and passes
// to its StopFailure hook): "… · resets 3pm (Europe/Berlin)", "resets 9:30am (UTC)", "resets
// Dec 12, 3pm (America/New_York)", "resets Jan 2, 2028, 10am (UTC)". A time without a day is the
// next one after `now`. None when the text names no reset time this reader knows.
std::optional<double> rateLimitResetIn(std::string_view text, double now);

}  // namespace floodmark
