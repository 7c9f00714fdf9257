#pragma once

#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// The text of what `floodmark idle --enable` writes: the systemd user unit's drop-in and, where
// no systemd runs, an XDG autostart entry. Each takes the command to run as words (an absolute
// program path first) and is absent when a word holds a control character, which neither file
// can carry.
namespace IdleServiceFiles {

inline constexpr const char* unitName = "floodmark-idle.service";
inline constexpr const char* dropInName = "floodmark.conf";
inline constexpr const char* autostartName = "floodmark-idle.desktop";
// The first line of every file we write, so that --disable removes only ours.
inline constexpr const char* marker = "# Written by floodmark idle --enable; removed by --disable.";

// Words as a systemd command line: each quoted, with specifiers and variables kept literal.
std::optional<std::string> systemdCommandLine(const std::vector<std::string>& words);
// Words as a desktop entry's Exec value.
std::optional<std::string> desktopExec(const std::vector<std::string>& words);

std::optional<std::string> dropIn(const std::vector<std::string>& command);
std::optional<std::string> autostartEntry(const std::vector<std::string>& command);

}  // namespace IdleServiceFiles

}  // namespace floodmark
