#include "app/Arguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace floodmark::app {

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
    long long value = 0;
    auto [end, status] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (status != std::errc() || end != text->data() + text->size() || value <= 0) {
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
    std::string owned(*text);
    char* end = nullptr;
    double value = std::strtod(owned.c_str(), &end);
    if (owned.empty() || end != owned.c_str() + owned.size() || !std::isfinite(value) ||
        value <= 0) {
        fail(std::string(option) + " wants a positive number, not '" + owned + "'");
        return std::nullopt;
    }
    return value;
}

}  // namespace floodmark::app
