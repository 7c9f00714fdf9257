#include "app/Arguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace floodmark::app {

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

std::optional<std::string_view> Arguments::valueOf(std::string_view option) {
    if (done()) {
        fail(std::string(option) + " needs a value");
        return std::nullopt;
    }
    return nextWord();
}

std::optional<long long> Arguments::positiveInteger(std::string_view option) {
    auto text = valueOf(option);
    if (!text) {
        return std::nullopt;
    }
    auto value = parseInteger(*text);
    if (!value || *value <= 0) {
        fail(std::string(option) + " wants a positive whole number, not '" + std::string(*text) +
             "'");
        return std::nullopt;
    }
    return value;
}

std::optional<double> Arguments::positiveNumber(std::string_view option) {
    auto text = valueOf(option);
    if (!text) {
        return std::nullopt;
    }
    auto value = parseNumber(*text);
    if (!value || *value <= 0) {
        fail(std::string(option) + " wants a positive number, not '" + std::string(*text) + "'");
        return std::nullopt;
    }
    return value;
}

std::optional<long long> Arguments::integer(std::string_view option) {
    auto text = valueOf(option);
    if (!text) {
        return std::nullopt;
    }
    auto value = parseInteger(*text);
    if (!value) {
        fail(std::string(option) + " wants a whole number, not '" + std::string(*text) + "'");
    }
    return value;
}

std::optional<double> Arguments::number(std::string_view option) {
    auto text = valueOf(option);
    if (!text) {
        return std::nullopt;
    }
    auto value = parseNumber(*text);
    if (!value) {
        fail(std::string(option) + " wants a number, not '" + std::string(*text) + "'");
    }
    return value;
}

std::optional<std::pair<double, double>> Arguments::numberPair(std::string_view option,
                                                               char separator) {
    auto text = valueOf(option);
    if (!text) {
        return std::nullopt;
    }
    auto split = text->find(separator);
    std::optional<double> first;
    std::optional<double> second;
    if (split != std::string_view::npos) {
        first = parseNumber(text->substr(0, split));
        second = parseNumber(text->substr(split + 1));
    }
    if (!first || !second) {
        fail(std::string(option) + " wants two numbers joined by '" + separator + "', not '" +
             std::string(*text) + "'");
        return std::nullopt;
    }
    return std::pair{*first, *second};
}

int Arguments::reportError(std::string_view command) const {
    std::cerr << "floodmark " << command << ": " << error_.value_or("bad arguments") << "\n";
    return 2;
}

}  // namespace floodmark::app
