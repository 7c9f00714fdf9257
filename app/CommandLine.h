#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <span>

namespace floodmark::app {

// Parses one command's words with `parser`. Absent when the command should go on; otherwise
// the exit status: 0 after --help (printed), 2 after a mistake (one line naming it).
std::optional<int> parseCommandLine(CLI::App& parser, std::span<char* const> words);

}  // namespace floodmark::app
