#include "platform/system/Files.h"

#include <sys/stat.h>

#include <cerrno>

namespace floodmark {

bool createDirectories(const std::string& path, mode_t mode) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0) {
        return S_ISDIR(existing.st_mode);
    }
    std::string parent = parentDirectory(path);
    if (parent != path && parent != "." && parent != "/") {
        createDirectories(parent, mode);
    }
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

std::string parentDirectory(const std::string& path) {
    auto end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return "/";
    }
    auto slash = path.rfind('/', end);
    if (slash == std::string::npos) {
        return ".";
    }
    auto parentEnd = path.find_last_not_of('/', slash);
    return parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

}  // namespace floodmark
