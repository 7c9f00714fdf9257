#include "platform/kit/ZonedTime.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace floodmark {

namespace {

// A name the zone database could hold: no absolute path or "..", nothing else glibc would read.
bool isZoneName(std::string_view zone) {
    if (zone.empty() || zone.size() > 64 || zone.front() == '/' ||
        zone.find("..") != std::string_view::npos) {
        return false;
    }
    for (char c : zone) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letter && c != '/' && c != '_' && c != '-' && c != '+') {
            return false;
        }
    }
    return true;
}

std::string zoneFile(std::string_view zone) {
    return std::string(std::getenv("TZDIR") ? std::getenv("TZDIR") : "/usr/share/zoneinfo") + "/" +
           std::string(zone);
}

// The process's TZ set to one zone (none: left as it is) for the object's life, then put back.
class ZoneScope {
public:
    explicit ZoneScope(std::string_view zone) : active_(!zone.empty()) {
        if (!active_) {
            return;
        }
        const char* old = std::getenv("TZ");
        hadZone_ = old != nullptr;
        if (hadZone_) {
            saved_ = old;
        }
        std::string value(":");
        value.append(zone);
        setenv("TZ", value.c_str(), 1);
        tzset();
    }
    ~ZoneScope() {
        if (!active_) {
            return;
        }
        if (hadZone_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool active_;
    bool hadZone_ = false;
    std::string saved_;
};

std::optional<double> secondsOf(std::tm fields) {
    fields.tm_isdst = -1;
    std::time_t seconds = std::mktime(&fields);
    return seconds == static_cast<std::time_t>(-1) ? std::nullopt : std::optional<double>(seconds);
}

}  // namespace

std::optional<double> secondsOfWallTime(const WallTime& wall, std::string_view zone, double now) {
    bool utc = zone == "UTC" || zone == "Etc/UTC" || zone == "GMT";
    bool local = zone.empty();
    if (!std::isfinite(now) || (!local && !isZoneName(zone)) ||
        (!utc && !local && access(zoneFile(zone).c_str(), R_OK) != 0) || wall.hour < 0 ||
        wall.hour > 23 || wall.minute < 0 || wall.minute > 59 || wall.month < 0 ||
        wall.month > 12 || wall.day < 0 || wall.day > 31) {
        return std::nullopt;
    }
    ZoneScope scope(local ? "" : utc ? "UTC" : zone);
    std::time_t nowSeconds = static_cast<std::time_t>(now);
    std::tm today{};
    localtime_r(&nowSeconds, &today);
    std::tm fields = today;
    fields.tm_hour = wall.hour;
    fields.tm_min = wall.minute;
    fields.tm_sec = 0;
    if (wall.month > 0) {
        fields.tm_mon = wall.month - 1;
        fields.tm_mday = wall.day;
        if (wall.year > 0) {
            fields.tm_year = wall.year - 1900;
        }
    }
    auto seconds = secondsOf(fields);
    if (seconds && *seconds <= now && wall.year == 0) {
        // Not this day (or this year) but the next.
        if (wall.month > 0) {
            ++fields.tm_year;
        } else {
            ++fields.tm_mday;
        }
        seconds = secondsOf(fields);
    }
    return seconds;
}

}  // namespace floodmark
