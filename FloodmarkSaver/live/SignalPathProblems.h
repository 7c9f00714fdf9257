#pragma once

#include <string>
#include <vector>

namespace floodmark {

// Why agents' signals can reach no saver, as `floodmark status` says it: a socket path too
// long to bind, a folder that is not one or cannot be written, or no place to hold signals.
// Empty when nothing in the way is seen.
std::vector<std::string> signalPathProblems(const std::string& socketPath);

}  // namespace floodmark
