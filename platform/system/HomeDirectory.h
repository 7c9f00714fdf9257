#pragma once

#include <string>
#include <string_view>

namespace floodmark {

// The user's home directory: $HOME when set and not empty, else the password database's entry
// of this user, else "/". Read once per process.
const std::string& homeDirectory();

// `path` with a leading "~" replaced by the home directory ("~" alone, or "~/...").
std::string expandTilde(std::string_view path);

}  // namespace floodmark
