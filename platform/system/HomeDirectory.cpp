#include "platform/system/HomeDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace floodmark {

namespace {

std::string readHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

const std::string& homeDirectory() {
    static const std::string home = readHomeDirectory();
    return home;
}

std::string expandTilde(std::string_view path) {
    if (path == "~" || path.starts_with("~/")) {
        return homeDirectory() + std::string(path.substr(1));
    }
    return std::string(path);
}

}  // namespace floodmark
