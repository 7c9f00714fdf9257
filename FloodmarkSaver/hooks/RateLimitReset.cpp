#include "FloodmarkSaver/hooks/RateLimitReset.h"

#include "platform/kit/ZonedTime.h"

#include <array>
#include <regex>
#include <string>

namespace floodmark {

namespace {

int monthNumber(const std::string& name) {
    constexpr std::array<std::string_view, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (std::size_t index = 0; index < months.size(); ++index) {
        if (months[index] == name) {
            return static_cast<int>(index) + 1;
        }
    }
    return 0;
}

}  // namespace

std::optional<double> rateLimitResetIn(std::string_view text, double now) {
    // The agent formats the time with en-US rules, the hour in 12-hour style with "am"/"pm"
    // run on, and the zone in parentheses.
    static const std::regex pattern(
        R"(resets (?:([A-Z][a-z]{2}) (\d{1,2}), (?:(\d{4}), )?)?(\d{1,2})(?::(\d{2}))?([ap]m)(?: \(([^()\s]{1,64})\))?)");
    constexpr std::size_t longest = 64 * 1024;  // the message is a line; never scan a flood
    std::string line(text.substr(0, longest));
    std::smatch found;
    if (!std::regex_search(line, found, pattern)) {
        return std::nullopt;
    }
    WallTime wall;
    int hour = std::stoi(found[4].str());
    if (hour < 1 || hour > 12) {
        return std::nullopt;
    }
    wall.hour = hour % 12 + (found[6].str() == "pm" ? 12 : 0);
    wall.minute = found[5].matched ? std::stoi(found[5].str()) : 0;
    if (found[1].matched) {
        wall.month = monthNumber(found[1].str());
        wall.day = std::stoi(found[2].str());
        if (wall.month == 0 || wall.day < 1) {
            return std::nullopt;
        }
        wall.year = found[3].matched ? std::stoi(found[3].str()) : 0;
    }
    return secondsOfWallTime(wall, found[7].matched ? found[7].str() : "", now);
}

}  // namespace floodmark
