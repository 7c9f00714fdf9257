#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace floodmark {

// writeFileAtomically with more said about the new file: `owner` (user, group) is given to it
// (a root that rewrites a user's file keeps it theirs), and `stillWanted`, when set, is asked
// just before the rename: a false answer leaves the old file and fails the write.
struct AtomicWriteTerms {
    bool durable = true;
    unsigned mode = 0644;
    std::optional<std::pair<uid_t, gid_t>> owner;
    std::function<bool()> stillWanted;
};
bool writeFileAtomicallyWith(const std::string& path, std::string_view bytes,
                             const AtomicWriteTerms& terms);

}  // namespace floodmark
