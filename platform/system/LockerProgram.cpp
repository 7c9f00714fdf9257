#include "platform/system/LockerProgram.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

namespace floodmark {

namespace {

// The kernel keeps 15 bytes of a program's name: "swaylock-plugin" fits exactly.
constexpr std::array<std::string_view, 9> lockerNames{
    "swaylock", "swaylock-plugin", "hyprlock", "gtklock", "waylock",
    "i3lock",   "xsecurelock",     "slock",    "xlock",
};

bool isProcessDirectory(const char* name) {
    return *name != '\0' &&
           std::all_of(name, name + std::char_traits<char>::length(name),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool ownedByMe(int processes, const char* name) {
    struct stat status = {};
    return fstatat(processes, name, &status, 0) == 0 && status.st_uid == getuid();
}

bool runsLocker(int processes, const char* name) {
    std::string path = std::string(name) + "/comm";
    int file = openat(processes, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char comm[32] = {};
    ssize_t length = read(file, comm, sizeof comm - 1);
    close(file);
    if (length <= 0) {
        return false;
    }
    std::string_view program(comm, static_cast<std::size_t>(length));
    if (program.back() == '\n') {
        program.remove_suffix(1);
    }
    return std::find(lockerNames.begin(), lockerNames.end(), program) != lockerNames.end();
}

}  // namespace

bool lockerProgramRunning() {
    DIR* listing = opendir("/proc");
    if (listing == nullptr) {
        return false;
    }
    int processes = dirfd(listing);
    bool found = false;
    const dirent* entry = nullptr;
    while (!found && (entry = readdir(listing)) != nullptr) {
        found = isProcessDirectory(entry->d_name) && ownedByMe(processes, entry->d_name) &&
                runsLocker(processes, entry->d_name);
    }
    closedir(listing);
    return found;
}

}  // namespace floodmark
