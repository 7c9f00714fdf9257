#include "FloodmarkSaver/common/JsonText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace floodmark {

namespace {

bool startsNumber(char character) {
    return character == '-' || (character >= '0' && character <= '9');
}

bool continuesNumber(char character) {
    return (character >= '0' && character <= '9') || character == '.' || character == 'e' ||
           character == 'E' || character == '+' || character == '-';
}

// The end of the string whose opening quote is at `at`: the index after its closing quote.
std::size_t endOfString(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && text[end] != '"') {
        end += text[end] == '\\' ? 2 : 1;
    }
    return std::min(end + 1, text.size());
}

// Whether parsing `text` stays within the depth and memory bounds. One pass that allocates
// nothing: every value past the first follows an opening bracket, a comma or a colon, so
// counting those bounds the number of values the parser would make.
bool withinParseBounds(std::string_view text) {
    std::size_t depth = 0;
    std::size_t values = 1;
    for (std::size_t at = 0; at < text.size();) {
        switch (text[at]) {
            case '"':
                at = endOfString(text, at);
                continue;
            case '[':
            case '{':
                if (++depth > maxJsonDepth) {
                    return false;
                }
                ++values;
                break;
            case ']':
            case '}':
                depth -= depth > 0 ? 1 : 0;
                break;
            case ',':
            case ':':
                ++values;
                break;
            default:
                break;
        }
        ++at;
    }
    // The lexer gathers a string in a buffer that grows by doubling, then copies it into the
    // value: up to three times the text besides the values.
    std::size_t textCost = 3 * std::min(text.size(), maxJsonParseBytes / 3);
    return values <= (maxJsonParseBytes - textCost) / jsonBytesPerValue;
}

// The text with every number token that overflows a double replaced by null. Strings are
// skipped whole, escapes included; everything else is copied as it is for the parser to judge.
std::string withOverflowsAsNull(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char character = text[at];
        if (character == '"') {
            std::size_t end = endOfString(text, at);
            result.append(text.substr(at, end - at));
            at = end;
        } else if (startsNumber(character)) {
            std::size_t end = at + 1;
            while (end < text.size() && continuesNumber(text[end])) {
                ++end;
            }
            std::string token(text.substr(at, end - at));
            double value = std::strtod(token.c_str(), nullptr);
            result.append(std::isinf(value) ? "null" : token);
            at = end;
        } else {
            result.push_back(character);
            ++at;
        }
    }
    return result;
}

}  // namespace

nlohmann::json parseJsonText(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || !withinParseBounds(text)) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    auto parsed = nlohmann::json::parse(text, nullptr, false);
    if (!parsed.is_discarded()) {
        return parsed;
    }
    // Only worth a second pass when a number may be what the parser refused.
    return nlohmann::json::parse(withOverflowsAsNull(text), nullptr, false);
}

}  // namespace floodmark
