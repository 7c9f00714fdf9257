#include "platform/kit/InternetTime.h"

#include <date/date.h>

#include <chrono>
#include <cmath>
#include <sstream>

namespace floodmark {

std::optional<double> parseInternetTime(std::string_view text) {
    std::string normalised(text);
    // The parser reads offsets only; "Z" is the zero offset.
    if (!normalised.empty() && normalised.back() == 'Z') {
        normalised.replace(normalised.size() - 1, 1, "+00:00");
    }
    std::istringstream stream(normalised);
    stream.imbue(std::locale::classic());
    date::sys_time<std::chrono::nanoseconds> instant;
    stream >> date::parse("%Y-%m-%dT%H:%M:%S%Ez", instant);
    if (stream.fail() || stream.peek() != std::char_traits<char>::eof()) {
        return std::nullopt;
    }
    // Whole seconds and the fraction apart, so that a stamp's fraction survives exactly.
    auto seconds = date::floor<std::chrono::seconds>(instant);
    auto fraction = instant - seconds;
    return static_cast<double>(seconds.time_since_epoch().count()) +
           static_cast<double>(fraction.count()) / 1e9;
}

std::string formatInternetTime(double time) {
    using namespace std::chrono;
    if (!std::isfinite(time) || std::fabs(time) > 1e14) {
        time = 0;
    }
    auto milliseconds = date::sys_time<std::chrono::milliseconds>(
        std::chrono::milliseconds(static_cast<long long>(std::floor(time * 1000))));
    return date::format("%Y-%m-%dT%H:%M:%SZ", milliseconds);
}

}  // namespace floodmark
