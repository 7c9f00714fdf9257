#include "app/HelperProgram.h"

#include "platform/system/Files.h"

#include <unistd.h>

#include <array>
#include <climits>

namespace floodmark::app {

std::optional<std::string> helperProgramPath(const std::string& name) {
    std::array<char, PATH_MAX> self{};
    ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string directory =
        parentDirectory(std::string(self.data(), static_cast<std::size_t>(length)));
    for (const std::string& candidate :
         {directory + "/" + name, directory + "/" FLOODMARK_BIN_TO_HELPERS "/" + name}) {
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace floodmark::app
