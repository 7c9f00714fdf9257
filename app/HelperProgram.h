#pragma once

#include <optional>
#include <string>

namespace floodmark::app {

// A program that `floodmark` hands a command to (floodmark-saver draws, floodmark-options shows
// the options sheet): beside this one in a build tree or among the helpers, in the helpers'
// folder (libexec/floodmark) as seen from bin/ once installed. Absent when neither is there.
std::optional<std::string> helperProgramPath(const std::string& name);

}  // namespace floodmark::app
