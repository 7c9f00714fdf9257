#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace floodmark {

// The whole content of a regular file of at most `maxBytes`; absent when it is missing,
// unreadable, not a regular file or larger, so that no file can make a reader hold more.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes);

}  // namespace floodmark
