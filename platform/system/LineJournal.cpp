#include "platform/system/LineJournal.h"

#include "platform/system/Files.h"
#include "platform/system/FolderOwner.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <optional>

namespace floodmark {

namespace {

// Each try that finds the journal set aside under it starts again on the new one; so many in a
// row mean something else is wrong.
constexpr int maxAppendTries = 16;

std::string olderGeneration(const std::string& path) {
    return path + ".full";
}

std::string baseName(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string partMarker(const std::string& path) {
    return baseName(path) + ".taken-";
}

std::string newPartName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".taken-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// The taker named in a part's name ("BASE.taken-PID-N").
std::optional<pid_t> takerOf(std::string_view name, std::string_view marker) {
    if (!name.starts_with(marker)) {
        return std::nullopt;
    }
    auto rest = name.substr(marker.size());
    pid_t pid = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || pid <= 0 || end == rest.data() + rest.size() || *end != '-') {
        return std::nullopt;
    }
    return pid;
}

bool isGone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// The names of the parts in the journal's directory that this process may take: its own, and
// those of takers that are gone.
std::vector<std::string> takeableParts(const std::string& path) {
    std::vector<std::string> names;
    std::string directory = parentDirectory(path);
    std::string marker = partMarker(path);
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(listing)) {
        auto taker = takerOf(entry->d_name, marker);
        if (taker && (*taker == getpid() || isGone(*taker))) {
            names.push_back(directory + "/" + entry->d_name);
        }
    }
    closedir(listing);
    return names;
}

enum class Append { written, failed, again };

Append appendTo(int descriptor, const std::string& path, std::string_view line,
                std::size_t maxBytes) {
    // Shared for the one write: a taker that set this file aside reads it only once it has the
    // lock exclusively, so never before a write that began ends.
    if (flock(descriptor, LOCK_SH | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? Append::again : Append::failed;
    }
    struct stat opened {};
    struct stat named {};
    if (fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return Append::failed;
    }
    if (lstat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
        named.st_dev != opened.st_dev) {
        return Append::again;  // set aside between the open and the lock: it may be read already
    }
    if (static_cast<std::size_t>(opened.st_size) + line.size() > maxBytes) {
        return rename(path.c_str(), olderGeneration(path).c_str()) == 0 ? Append::again
                                                                        : Append::failed;
    }
    return write(descriptor, line.data(), line.size()) == static_cast<ssize_t>(line.size())
               ? Append::written
               : Append::failed;
}

}  // namespace

bool appendToJournal(const std::string& path, std::string_view line, std::size_t maxBytes) {
    for (int tries = 0; tries < maxAppendTries; ++tries) {
        int descriptor =
            open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0) {
            return false;
        }
        // A root hook's journal must stay the folder owner's to fold and to take.
        giveToOwnerOfFolderAt(descriptor, path);
        Append outcome = appendTo(descriptor, path, line, maxBytes);
        close(descriptor);
        if (outcome != Append::again) {
            return outcome == Append::written;
        }
    }
    return false;
}

bool journalWaiting(const std::string& path) {
    struct stat existing {};
    return lstat(path.c_str(), &existing) == 0 ||
           lstat(olderGeneration(path).c_str(), &existing) == 0 || !takeableParts(path).empty();
}

JournalTake::JournalTake(const std::string& path, std::size_t maxBytes) {
    for (const auto& source : {path, olderGeneration(path)}) {
        rename(source.c_str(), newPartName(path).c_str());
    }
    std::string own = partMarker(path) + std::to_string(getpid()) + "-";
    for (auto& part : takeableParts(path)) {
        if (!baseName(part).starts_with(own)) {
            // A gone taker's part: made ours first, so that two takers never read it both.
            std::string adopted = newPartName(path);
            if (rename(part.c_str(), adopted.c_str()) != 0) {
                continue;
            }
            part = adopted;
        }
        read(part, maxBytes);
    }
}

void JournalTake::read(const std::string& partPath, std::size_t& budget) {
    int descriptor = open(partPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return;
    }
    struct stat part {};
    // A part an appender still writes to (one stopped half way, say) waits for the next take.
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0 || fstat(descriptor, &part) != 0 ||
        !S_ISREG(part.st_mode) || budget == 0) {
        close(descriptor);
        return;
    }
    auto size = static_cast<std::size_t>(part.st_size);
    std::size_t length = std::min(size, budget);
    std::string bytes(length, '\0');
    ssize_t got = pread(descriptor, bytes.data(), length, static_cast<off_t>(size - length));
    if (got < 0) {
        close(descriptor);
        return;
    }
    bytes.resize(static_cast<std::size_t>(got));
    budget -= bytes.size();
    text_ += bytes;
    text_ += '\n';
    parts_.push_back({partPath, descriptor});
}

void JournalTake::remove() {
    for (const auto& part : parts_) {
        unlink(part.path.c_str());
        close(part.descriptor);
    }
    parts_.clear();
}

JournalTake::~JournalTake() {
    for (const auto& part : parts_) {
        close(part.descriptor);
    }
}

}  // namespace floodmark
