#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// One version of a file as read: its bytes and what tells it from a later one. A missing file
// is a version too; its owner is then that of the nearest directory above it that exists.
struct FileVersion {
    bool present = false;
    std::string bytes;
    struct stat status {};
};

// The file at `path` now; absent when it cannot be read, is not a regular file (a link is not
// followed) or holds more than `maxBytes`.
std::optional<FileVersion> readFileVersion(const std::string& path, std::size_t maxBytes);

// Replaces (atomically) or creates the file at `path` with `bytes`, giving it the permissions
// of `like` (0644 where `like` is missing) and, when run as root, its owner and group.
bool writeFileLike(const std::string& path, std::string_view bytes, const FileVersion& like);

// What to do with the version read.
struct FileChange {
    enum class Action { leave, write, remove } action = Action::leave;
    std::string bytes;
};

enum class Rewritten { changed, left, unreadable, keptChanging, failed };

// Reads the file at `path`, asks `change` what to make of it and does that, but only while the
// file is still the version read (device, inode, size, times and bytes): another program that
// rewrote it meanwhile (truncating it or renaming a new one over it) keeps its change, and the
// file is read again and `change` asked again, a few times at most. The written file is like the
// one read (writeFileLike).
Rewritten rewriteFile(const std::string& path, std::size_t maxBytes,
                      const std::function<FileChange(const FileVersion&)>& change);

}  // namespace floodmark
