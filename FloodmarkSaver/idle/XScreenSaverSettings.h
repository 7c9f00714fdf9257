#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace floodmark::XScreenSaverSettings {

// The line of the `programs:` list that runs the saver as an XScreenSaver hack.
inline constexpr std::string_view hackEntry = R"(GL: "Floodmark" floodmark --root)";

// `~/.xscreensaver` with the saver's entry first in its `programs:` list, every other line
// kept; absent when the entry is there already. `current` absent: a new file of XScreenSaver's
// defaults that runs only the saver.
std::optional<std::string> withHack(const std::optional<std::string>& current);

}  // namespace floodmark::XScreenSaverSettings
