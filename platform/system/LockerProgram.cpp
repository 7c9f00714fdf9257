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

// The kernel keeps 15 bytes of a program's name: "swaylock-plugin" fits exactly, and KDE's
// greeter, "kscreenlocker_greet", which runs only while Plasma is locked, is cut.
constexpr std::array<std::string_view, 10> lockerNames{
    "swaylock", "swaylock-plugin", "hyprlock", "gtklock", "waylock",
    "i3lock",   "xsecurelock",     "slock",    "xlock",   "kscreenlocker_g",
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

// The name and state of /proc/PID/stat: "PID (NAME) S ...", where NAME may hold ")" itself.
bool runsLocker(int processes, const char* name) {
    std::string path = std::string(name) + "/stat";
    int file = openat(processes, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char stat[64] = {};
    ssize_t length = read(file, stat, sizeof stat - 1);
    close(file);
    if (length <= 0) {
        return false;
    }
    std::string_view line(stat, static_cast<std::size_t>(length));
    auto open = line.find('(');
    auto end = line.rfind(')');
    if (open == std::string_view::npos || end == std::string_view::npos || end < open ||
        end + 2 >= line.size()) {
        return false;
    }
    // A locker that has exited but is not yet reaped (its parent hung) owns no screen.
    char state = line[end + 2];
    if (state == 'Z' || state == 'X') {
        return false;
    }
    auto program = line.substr(open + 1, end - open - 1);
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
