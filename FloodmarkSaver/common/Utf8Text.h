#pragma once

#include <string>
#include <string_view>

namespace floodmark {

// Whether `text` is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing past U+10FFFF. What the JSON writer accepts.
bool isValidUtf8(std::string_view text);

// `text` made fit for a terminal: every byte that is not part of well-formed UTF-8, and every
// control character (C0, DEL, C1, line breaks and escapes included), shows as U+FFFD.
std::string printableText(std::string_view text);

}  // namespace floodmark
