#include "app/OptionValues.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace floodmark::app::OptionValues {

namespace {

std::optional<long long> parseInteger(std::string_view text) {
    long long value = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseNumber(std::string_view text) {
    std::string owned(text);
    char* end = nullptr;
    double value = std::strtod(owned.c_str(), &end);
    if (owned.empty() || end != owned.c_str() + owned.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

void reject(std::string message) {
    throw CLI::ValidationError(message);
}

long long positiveInteger(std::string_view option, const std::string& text) {
    auto value = parseInteger(text);
    if (!value || *value <= 0) {
        reject(std::string(option) + " wants a positive whole number, not '" + text + "'");
    }
    return *value;
}

double positiveNumber(std::string_view option, const std::string& text) {
    auto value = parseNumber(text);
    if (!value || *value <= 0) {
        reject(std::string(option) + " wants a positive number, not '" + text + "'");
    }
    return *value;
}

long long integer(std::string_view option, const std::string& text) {
    auto value = parseInteger(text);
    if (!value) {
        reject(std::string(option) + " wants a whole number, not '" + text + "'");
    }
    return *value;
}

double number(std::string_view option, const std::string& text) {
    auto value = parseNumber(text);
    if (!value) {
        reject(std::string(option) + " wants a number, not '" + text + "'");
    }
    return *value;
}

std::pair<double, double> numberPair(std::string_view option, const std::string& text,
                                     char separator) {
    auto split = text.find(separator);
    std::optional<double> first;
    std::optional<double> second;
    if (split != std::string::npos) {
        first = parseNumber(std::string_view(text).substr(0, split));
        second = parseNumber(std::string_view(text).substr(split + 1));
    }
    if (!first || !second) {
        reject(std::string(option) + " wants two numbers joined by '" + separator + "', not '" +
               text + "'");
    }
    return {*first, *second};
}

}  // namespace floodmark::app::OptionValues
