#pragma once

#include <string>
#include <string_view>

namespace floodmark {

// Replaces the file at `path` with `bytes` so that a reader, a crash or a power loss sees the
// old file or the new one, never a part: a temporary file in the same directory, flushed to
// disk, then renamed over it. False when any step fails; the old file is then untouched.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace floodmark
