#include "FloodmarkSaver/feed/AwayMessages.h"

#include "FloodmarkSaver/frame/FloodmarkRendererLevels.h"

#include <cmath>

namespace floodmark::AwayMessages {

namespace {
// The water must stand visibly above rest before the working texts show.
constexpr double quietLevel = FloodmarkRendererLevels::ambientResting + 0.05;
}  // namespace

std::string waiting(long long count) {
    if (count == 1) {
        return "1 agent is waiting on you.";
    }
    return std::to_string(count) + " agents are waiting on you.";
}

std::optional<std::string> line(double y, long long awaiting, double time) {
    if (awaiting >= 1) {
        return waiting(awaiting);
    }
    if (!(y > quietLevel)) {
        return std::nullopt;
    }
    // Floor division keeps the index in 0…3 for times before the epoch too.
    double rotations = std::floor(time / rotationInterval);
    double index = std::fmod(rotations, static_cast<double>(working.size()));
    if (!std::isfinite(index)) {
        index = 0;
    } else if (index < 0) {
        index += static_cast<double>(working.size());
    }
    return std::string(working[static_cast<std::size_t>(index)]);
}

}  // namespace floodmark::AwayMessages
