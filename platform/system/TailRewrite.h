#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace floodmark {

// Adds to a file in place, in O(1) of its size: the file at `path` must start with `head` and
// end with `tail`; its last `tail.size()` bytes are written over with what `replacement`
// returns for the byte just before the tail. False, with the file untouched, when the file is
// missing or not of that shape, or would grow past `maxBytes`, or the write failed (a write cut
// short is undone). Not atomic: callers that share the file take a lock around it.
bool rewriteTail(const std::string& path, std::string_view head, std::string_view tail,
                 const std::function<std::string(char before)>& replacement, std::size_t maxBytes);

}  // namespace floodmark
