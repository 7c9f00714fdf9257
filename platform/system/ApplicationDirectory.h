#pragma once

#include <string>

namespace floodmark {

// Where the saver keeps its own state: $XDG_STATE_HOME/TolveraFloodmarkSaver, or
// ~/.local/state/TolveraFloodmarkSaver when that variable is unset or not an absolute path.
// Computed once per process.
const std::string& applicationDirectory();

}  // namespace floodmark
