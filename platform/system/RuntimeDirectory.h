#pragma once

#include <optional>
#include <string>

namespace floodmark {

// The user's runtime directory, in memory and gone at log-out: $XDG_RUNTIME_DIR when it is an
// absolute path to a directory of ours, else /run/user/UID when that is one; absent otherwise.
// Computed once per process.
const std::optional<std::string>& runtimeDirectory();

}  // namespace floodmark
