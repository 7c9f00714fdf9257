#include "FloodmarkSaver/live/LiveDemandCalibration.h"

#include <nlohmann/json.hpp>

#include "FloodmarkSaver/common/JsonValue.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>
#include <string_view>

namespace floodmark {

namespace {

// Six days back from today's key: with today that keeps seven days.
constexpr double retentionSpan = 518400;

// "YYYY-MM-DD", as `key` writes it; any other key is garbage that would never expire.
bool isDayKey(std::string_view day) {
    if (day.size() != 10 || day[4] != '-' || day[7] != '-') {
        return false;
    }
    return std::all_of(day.begin(), day.end(),
                       [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
}

void restoreTable(const nlohmann::json* table, std::map<std::string, double>& into) {
    if (table == nullptr || !table->is_object()) {
        return;
    }
    for (const auto& [day, value] : table->items()) {
        if (!isDayKey(day)) {
            continue;
        }
        double number = 0;
        if (value.is_boolean()) {
            number = value.get<bool>() ? 1 : 0;
        } else if (value.is_number()) {
            number = value.get<double>();
        } else {
            continue;
        }
        if (std::isfinite(number)) {
            into[day] = number;
        }
    }
}

std::vector<double> valuesOf(const std::map<std::string, double>& table) {
    std::vector<double> values;
    values.reserve(table.size());
    for (const auto& [day, value] : table) {
        values.push_back(value);
    }
    return values;
}

void raise(std::map<std::string, double>& table, const std::string& day, double value) {
    auto [entry, inserted] = table.try_emplace(day, 0.0);
    entry->second = std::max(entry->second, value);
}

}  // namespace

bool LiveDemandCalibration::isOfThisSchema(const nlohmann::json& restored) {
    const auto* version = member(restored, "schema");
    return version != nullptr && version->is_number() &&
           std::trunc(version->get<double>()) == schema;
}

LiveDemandCalibration::LiveDemandCalibration(const nlohmann::json* restored) {
    if (restored == nullptr || !isOfThisSchema(*restored)) {
        return;
    }
    restoreTable(member(*restored, "y"), dailySustainedY_);
    restoreTable(member(*restored, "x"), dailyMaxX_);
}

void LiveDemandCalibration::observe(double rawY, double rawX, double now, double elapsed) {
    double dt =
        lastObservedAt_ ? std::max(elapsed, now - *lastObservedAt_) : std::max(elapsed, 0.0);
    lastObservedAt_ = now;
    if (dt > 0 && std::isfinite(rawY)) {
        sustainedY_ += (1 - std::exp(-dt / sustainTau)) * (rawY - sustainedY_);
    }
    std::string today = key(now);
    if (rawY > 0 || rawX > 0) {
        raise(dailySustainedY_, today, sustainedY_);
        raise(dailyMaxX_, today, rawX);
    }
    // Days ahead come from a clock that was once set ahead; kept, they would never expire and
    // would hold the denominators up for ever. Tomorrow may stay: replayed signals of just
    // before midnight observe yesterday while today's key is already there.
    std::string cutoff = key(now - retentionSpan);
    std::string latest = key(now + 86400);
    auto outside = [&](const auto& entry) { return entry.first < cutoff || entry.first > latest; };
    std::erase_if(dailySustainedY_, outside);
    std::erase_if(dailyMaxX_, outside);
}

bool LiveDemandCalibration::isMature() const {
    return dailySustainedY_.size() >= static_cast<std::size_t>(minimumMatureDays);
}

double LiveDemandCalibration::yDenominator() const {
    return middleMean(valuesOf(dailySustainedY_), 0.8);
}

double LiveDemandCalibration::xDenominator() const {
    return middleMean(valuesOf(dailyMaxX_), 2);
}

nlohmann::json LiveDemandCalibration::toJson() const {
    return {{"schema", schema}, {"y", dailySustainedY_}, {"x", dailyMaxX_}};
}

std::string LiveDemandCalibration::key(double now) {
    // Beyond about 30 million years either way a time_t cannot hold the instant.
    std::time_t seconds = std::fabs(now) < 1e15 ? static_cast<std::time_t>(std::floor(now)) : 0;
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return "0000-00-00";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    return text;
}

double LiveDemandCalibration::middleMean(std::vector<double> values, double floor) {
    std::erase_if(values, [](double value) { return !(value > 0); });
    std::sort(values.begin(), values.end());
    double mean = floor;
    if (values.size() >= 3) {
        mean = std::accumulate(values.begin() + 1, values.end() - 1, 0.0) /
               static_cast<double>(values.size() - 2);
    } else if (!values.empty()) {
        mean = values.back();
    }
    return std::max(mean, floor);
}

}  // namespace floodmark
