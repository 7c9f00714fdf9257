#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

namespace floodmark {

// Parses text from outside (a socket line, a file) as one JSON value, every byte of it: a NUL
// anywhere makes it invalid, where the parser alone would stop there and take the prefix. A
// number too large for a double reads as null, so that the member it belongs to is absent
// rather than the whole text lost. Invalid text gives a discarded value; nothing is thrown.
nlohmann::json parseJsonText(std::string_view text);

}  // namespace floodmark
