#include "platform/system/AtomicWrite.h"

#include "platform/system/AtomicWriteTerms.h"
#include "platform/system/Files.h"
#include "platform/system/FolderOwner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>

namespace floodmark {

namespace {

constexpr std::size_t suffixLength = 6;

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t count = write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return true;
}

std::string randomSuffix() {
    constexpr std::string_view letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[suffixLength] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;  // still unique enough with O_EXCL retrying
        for (auto& byte : bytes) {
            byte = static_cast<unsigned char>(++counter * 37 + getpid());
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes) {
        suffix += letters[byte % letters.size()];
    }
    return suffix;
}

// Our temporaries are "NAME.fmtmp-PID-XXXXXX": the writer's process id, so that a sweeper can
// tell one whose writer is gone, and a marker no person's file name has.
constexpr std::string_view temporaryMarker = ".fmtmp-";

std::string temporaryName(const std::string& name) {
    return name + std::string(temporaryMarker) + std::to_string(getpid()) + "-" + randomSuffix();
}

// The writer of one of our temporaries of NAME, when `entry` is one.
std::optional<pid_t> writerOfTemporary(std::string_view entry, std::string_view name) {
    if (!entry.starts_with(name) || !entry.substr(name.size()).starts_with(temporaryMarker)) {
        return std::nullopt;
    }
    auto rest = entry.substr(name.size() + temporaryMarker.size());
    pid_t pid = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || pid <= 0 || end == rest.data() + rest.size() || *end != '-') {
        return std::nullopt;
    }
    return pid;
}

bool processIsGone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// Earlier versions named them "NAME.XXXXXX"; one at least not a small letter, so that a file a
// person named "NAME.backup" is never taken for one. Those go after an hour.
bool isLegacyTemporaryOf(std::string_view entry, std::string_view name) {
    if (entry.size() != name.size() + 1 + suffixLength || !entry.starts_with(name) ||
        entry[name.size()] != '.') {
        return false;
    }
    auto suffix = entry.substr(name.size() + 1);
    return std::all_of(suffix.begin(), suffix.end(),
                       [](unsigned char c) { return std::isalnum(c); }) &&
           std::any_of(suffix.begin(), suffix.end(),
                       [](unsigned char c) { return !std::islower(c); });
}

bool isStaleTemporaryOf(std::string_view entry, std::string_view name, double age) {
    if (auto writer = writerOfTemporary(entry, name)) {
        return age > staleTemporaryAge && processIsGone(*writer);
    }
    return isLegacyTemporaryOf(entry, name) && age > legacyTemporaryAge;
}

}  // namespace

bool isAbandonedTemporary(std::string_view entry, double age) {
    auto marker = entry.find(temporaryMarker);
    if (marker == std::string_view::npos || marker == 0) {
        return false;
    }
    auto writer = writerOfTemporary(entry, entry.substr(0, marker));
    return writer && age > staleTemporaryAge && processIsGone(*writer);
}

namespace {

// Once per directory and name in a process: a crash of an earlier process is all that leaves
// temporaries, and a listing on every write would cost more than they do.
void removeStaleTemporariesOnce(int directory, const std::string& name) {
    static std::mutex lock;
    static std::set<std::string> swept;
    struct stat folder {};
    if (fstat(directory, &folder) != 0) {
        return;
    }
    std::string key =
        std::to_string(folder.st_dev) + ":" + std::to_string(folder.st_ino) + "/" + name;
    {
        std::lock_guard guard(lock);
        if (!swept.insert(key).second) {
            return;
        }
    }
    int listingDescriptor = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = listingDescriptor >= 0 ? fdopendir(listingDescriptor) : nullptr;
    if (listing == nullptr) {
        if (listingDescriptor >= 0) {
            close(listingDescriptor);
        }
        return;
    }
    double now = static_cast<double>(std::time(nullptr));
    while (const dirent* entry = readdir(listing)) {
        struct stat file {};
        if (fstatat(directory, entry->d_name, &file, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(file.st_mode) &&
            isStaleTemporaryOf(entry->d_name, name, now - static_cast<double>(file.st_mtime))) {
            unlinkat(directory, entry->d_name, 0);
        }
    }
    closedir(listing);
}

bool replaceAt(int directory, const std::string& name, std::string_view bytes,
               const AtomicWriteTerms& terms) {
    removeStaleTemporariesOnce(directory, name);
    std::string temporary;
    int descriptor = -1;
    for (int attempt = 0; attempt < 8 && descriptor < 0; ++attempt) {
        temporary = temporaryName(name);
        descriptor = openat(directory, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (descriptor < 0) {
        return false;
    }
    // The owner goes before the mode: a change of owner clears set-id bits. Without one asked
    // for, a file root makes in another user's folder is that user's.
    bool owned = terms.owner ? fchown(descriptor, terms.owner->first, terms.owner->second) == 0
                             : giveToFolderOwner(descriptor, directory);
    bool written = writeAll(descriptor, bytes) && owned &&
                   fchmod(descriptor, static_cast<mode_t>(terms.mode)) == 0 &&
                   (!terms.durable || fsync(descriptor) == 0);
    written = close(descriptor) == 0 && written;
    if (!written || (terms.stillWanted && !terms.stillWanted()) ||
        renameat(directory, temporary.c_str(), directory, name.c_str()) != 0) {
        unlinkat(directory, temporary.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace

bool writeFileAtomicallyAt(int directory, const std::string& name, std::string_view bytes,
                           bool durable, unsigned mode) {
    return replaceAt(directory, name, bytes, {durable, mode, std::nullopt, {}});
}

void removeStaleTemporaries(const std::string& path) {
    auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    int directory = open(parentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        return;
    }
    if (!name.empty()) {
        removeStaleTemporariesOnce(directory, name);
    }
    close(directory);
}

bool writeFileAtomicallyWith(const std::string& path, std::string_view bytes,
                             const AtomicWriteTerms& terms) {
    auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    int directory = open(parentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0 || name.empty()) {
        if (directory >= 0) {
            close(directory);
        }
        return false;
    }
    bool written = replaceAt(directory, name, bytes, terms);
    close(directory);
    return written;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, bool durable,
                         unsigned mode) {
    return writeFileAtomicallyWith(path, bytes, {durable, mode, std::nullopt, {}});
}

}  // namespace floodmark
