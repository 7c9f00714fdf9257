#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string_view>

namespace floodmark {

// What one parse of outside text may cost. Nesting deeper than maxJsonDepth, or text whose
// values would take more than maxJsonParseBytes of memory, is refused before it is parsed: the
// agents' payloads nest a few levels, and a value held in memory costs up to
// jsonBytesPerValue besides its text.
inline constexpr std::size_t maxJsonDepth = 64;
inline constexpr std::size_t maxJsonParseBytes = 64 << 20;
inline constexpr std::size_t jsonBytesPerValue = 96;

// Parses text from outside (a socket line, a file) as one JSON value, every byte of it: a NUL
// anywhere makes it invalid, where the parser alone would stop there and take the prefix. A
// number too large for a double reads as null, so that the member it belongs to is absent
// rather than the whole text lost. Invalid text, and text past the bounds above, gives a
// discarded value; nothing is thrown.
nlohmann::json parseJsonText(std::string_view text);

}  // namespace floodmark
