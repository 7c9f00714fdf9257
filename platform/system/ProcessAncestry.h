#pragma once

#include <cstdint>
#include <optional>

namespace floodmark {

// The process that a hook speaks for: the first ancestor of `pid` (its parent first) that is
// not a shell or `env`, read from /proc. Absent when the walk finds none.
std::optional<std::int64_t> agentProcess(std::int64_t pid);

}  // namespace floodmark
