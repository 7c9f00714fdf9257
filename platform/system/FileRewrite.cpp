#include "platform/system/FileRewrite.h"

#include "platform/system/AtomicWriteTerms.h"
#include "platform/system/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace floodmark {

namespace {

// Another program that keeps rewriting the file this often in a row is not waited for.
constexpr int maxAttempts = 8;

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameVersion(const FileVersion& a, const FileVersion& b) {
    if (a.present != b.present) {
        return false;
    }
    return !a.present ||
           (a.status.st_dev == b.status.st_dev && a.status.st_ino == b.status.st_ino &&
            a.status.st_size == b.status.st_size && sameTime(a.status.st_mtim, b.status.st_mtim) &&
            sameTime(a.status.st_ctim, b.status.st_ctim) && a.bytes == b.bytes);
}

std::optional<FileVersion> missingVersion(const std::string& path) {
    FileVersion version;
    std::string directory = parentDirectory(path);
    while (stat(directory.c_str(), &version.status) != 0) {
        if (errno != ENOENT || directory == "/" || directory == ".") {
            return std::nullopt;
        }
        directory = parentDirectory(directory);
    }
    version.status.st_mode = S_IFREG | 0644;
    return version;
}

// Only root can give a file away; a root that rewrites a user's file (`sudo -E`) must, or the
// user can no longer read their own settings.
AtomicWriteTerms termsLike(const FileVersion& like) {
    AtomicWriteTerms terms;
    terms.mode = like.status.st_mode & 07777;
    if (geteuid() == 0) {
        terms.owner = std::pair(like.status.st_uid, like.status.st_gid);
    }
    return terms;
}

// The directories missing above a new file, owned like the nearest one that exists.
bool createDirectoriesLike(const std::string& directory, const FileVersion& like) {
    struct stat existing {};
    if (stat(directory.c_str(), &existing) == 0) {
        return S_ISDIR(existing.st_mode);
    }
    if (!createDirectoriesLike(parentDirectory(directory), like) ||
        (mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST)) {
        return false;
    }
    return geteuid() != 0 || chown(directory.c_str(), like.status.st_uid, like.status.st_gid) == 0;
}

}  // namespace

std::optional<FileVersion> readFileVersion(const std::string& path, std::size_t maxBytes) {
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (descriptor < 0) {
        return errno == ENOENT ? missingVersion(path) : std::nullopt;
    }
    std::optional<FileVersion> version(FileVersion{true, {}, {}});
    if (fstat(descriptor, &version->status) != 0 || !S_ISREG(version->status.st_mode) ||
        static_cast<std::size_t>(version->status.st_size) > maxBytes) {
        version.reset();
    }
    char chunk[65536];
    while (version) {
        ssize_t count = read(descriptor, chunk, sizeof chunk);
        if (count == 0) {
            break;
        }
        if (count < 0 || version->bytes.size() + static_cast<std::size_t>(count) > maxBytes) {
            version.reset();
            break;
        }
        version->bytes.append(chunk, static_cast<std::size_t>(count));
    }
    close(descriptor);
    return version;
}

bool writeFileLike(const std::string& path, std::string_view bytes, const FileVersion& like) {
    return writeFileAtomicallyWith(path, bytes, termsLike(like));
}

Rewritten rewriteFile(const std::string& path, std::size_t maxBytes,
                      const std::function<FileChange(const FileVersion&)>& change) {
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        auto read = readFileVersion(path, maxBytes);
        if (!read) {
            return Rewritten::unreadable;
        }
        auto unchanged = [&] {
            auto now = readFileVersion(path, maxBytes);
            return now && sameVersion(*now, *read);
        };
        FileChange wanted = change(*read);
        if (wanted.action == FileChange::Action::leave) {
            return Rewritten::left;
        }
        if (wanted.action == FileChange::Action::remove) {
            if (!unchanged()) {
                continue;
            }
            return unlink(path.c_str()) == 0 ? Rewritten::changed : Rewritten::failed;
        }
        if (!read->present && !createDirectoriesLike(parentDirectory(path), *read)) {
            return Rewritten::failed;
        }
        AtomicWriteTerms terms = termsLike(*read);
        terms.stillWanted = unchanged;
        if (writeFileAtomicallyWith(path, wanted.bytes, terms)) {
            return Rewritten::changed;
        }
        if (unchanged()) {
            return Rewritten::failed;
        }
    }
    return Rewritten::keptChanging;
}

}  // namespace floodmark
