#include "platform/system/PrivateDirectory.h"

#include "platform/system/Files.h"

#include <fcntl.h>
#include <unistd.h>

namespace floodmark {

namespace {

std::string lastComponent(const std::string& path) {
    auto end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return "/";
    }
    auto slash = path.rfind('/', end);
    return path.substr(slash == std::string::npos ? 0 : slash + 1,
                       slash == std::string::npos ? end + 1 : end - slash);
}

constexpr int directoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

PrivateDirectory::PrivateDirectory(const std::string& path) {
    createDirectories(path, 0700);
    std::string parentPath = parentDirectory(path);
    int parent = open(parentPath.c_str(), directoryFlags);
    if (parent < 0) {
        return;
    }
    descriptor_ = openat(parent, lastComponent(path).c_str(), directoryFlags);
    close(parent);
}

PrivateDirectory::~PrivateDirectory() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

}  // namespace floodmark
