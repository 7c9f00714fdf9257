#include "platform/system/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace floodmark {

namespace {

bool isOurDirectory(const std::string& path) {
    struct stat status {};
    return !path.empty() && path[0] == '/' && stat(path.c_str(), &status) == 0 &&
           S_ISDIR(status.st_mode) && status.st_uid == geteuid();
}

}  // namespace

const std::optional<std::string>& runtimeDirectory() {
    static const std::optional<std::string> directory = []() -> std::optional<std::string> {
        if (const char* variable = std::getenv("XDG_RUNTIME_DIR");
            variable != nullptr && isOurDirectory(variable)) {
            return std::string(variable);
        }
        std::string fallback = "/run/user/" + std::to_string(geteuid());
        if (isOurDirectory(fallback)) {
            return fallback;
        }
        return std::nullopt;
    }();
    return directory;
}

}  // namespace floodmark
