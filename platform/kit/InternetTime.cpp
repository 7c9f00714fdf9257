#include "platform/kit/InternetTime.h"

#include <date/date.h>

#include <cctype>
#include <cstdint>

#include <chrono>
#include <cmath>

namespace floodmark {

namespace {

// Reads exactly `count` digits at `at`, moving past them.
std::optional<int> digits(std::string_view text, std::size_t& at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t end = at + count; at < end; ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[at] - '0');
    }
    return value;
}

bool expect(std::string_view text, std::size_t& at, char wanted) {
    if (at >= text.size() || std::toupper(static_cast<unsigned char>(text[at])) != wanted) {
        return false;
    }
    ++at;
    return true;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (Howard Hinnant's
// days_from_civil), in whole numbers, so that no year of four digits overflows.
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    std::int64_t yearOfEra = year - era * 400;
    std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

// RFC 3339, section 5.6, to the letter: "T" and "Z" in either case, a fraction of any number
// of digits, a leap second ":60" read as the first instant of the next minute.
std::optional<double> parseInternetTime(std::string_view text) {
    std::size_t at = 0;
    auto year = digits(text, at, 4);
    if (!year || !expect(text, at, '-')) {
        return std::nullopt;
    }
    auto month = digits(text, at, 2);
    if (!month || *month < 1 || *month > 12 || !expect(text, at, '-')) {
        return std::nullopt;
    }
    auto day = digits(text, at, 2);
    if (!day || *day < 1 || *day > daysInMonth(*year, *month) || !expect(text, at, 'T')) {
        return std::nullopt;
    }
    auto hour = digits(text, at, 2);
    if (!hour || *hour > 23 || !expect(text, at, ':')) {
        return std::nullopt;
    }
    auto minute = digits(text, at, 2);
    if (!minute || *minute > 59 || !expect(text, at, ':')) {
        return std::nullopt;
    }
    auto second = digits(text, at, 2);
    if (!second || *second > 60) {
        return std::nullopt;
    }
    double fraction = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        double place = 0.1;
        std::size_t first = at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, place /= 10) {
            fraction += (text[at] - '0') * place;
        }
        if (at == first) {
            return std::nullopt;
        }
    }
    int offsetSeconds = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int sign = text[at] == '-' ? -1 : 1;
        ++at;
        auto offsetHour = digits(text, at, 2);
        if (!offsetHour || *offsetHour > 23 || !expect(text, at, ':')) {
            return std::nullopt;
        }
        auto offsetMinute = digits(text, at, 2);
        if (!offsetMinute || *offsetMinute > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (*offsetHour * 3600 + *offsetMinute * 60);
    } else if (!expect(text, at, 'Z')) {
        return std::nullopt;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    std::int64_t seconds = daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 +
                           *minute * 60 + *second - offsetSeconds;
    return static_cast<double>(seconds) + fraction;
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
