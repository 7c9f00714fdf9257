#pragma once

#include <optional>
#include <string>

namespace floodmark::app {

// The program that draws: beside this one in a build tree, in ../libexec once installed.
// Absent when neither is there.
std::optional<std::string> saverProgramPath();

}  // namespace floodmark::app
