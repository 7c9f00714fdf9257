#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// The one line of away message under the clock.
namespace AwayMessages {

inline constexpr std::array<std::string_view, 4> working{
    "AFK. The agents are not.",
    "Gone to lunch. The work hasn't.",
    "Still cooking.",
    "Nobody is babysitting this.",
};
// Each working text shows for this long, in order, then the list repeats.
inline constexpr double rotationInterval = 60;
inline constexpr std::string_view previewNote =
    "Preview only. The water goes live when the saver runs.";

std::string waiting(long long count);

// `time` is seconds since the feed's epoch; it may be negative when the clock was set back.
std::optional<std::string> line(double y, long long awaiting, double time);

}  // namespace AwayMessages

}  // namespace floodmark
