#include "FloodmarkSaver/live/SignalPathProblems.h"

#include "FloodmarkSaver/common/Utf8Text.h"
#include "FloodmarkSaver/live/HeldSignals.h"
#include "platform/system/Files.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace floodmark {

std::vector<std::string> signalPathProblems(const std::string& socketPath) {
    std::vector<std::string> problems;
    // One byte of sun_path is the terminating zero.
    constexpr std::size_t longestSocketPath = sizeof(sockaddr_un::sun_path) - 1;
    if (socketPath.size() > longestSocketPath) {
        problems.push_back("the socket path is " + std::to_string(socketPath.size()) +
                           " bytes, and a Unix socket's may be " +
                           std::to_string(longestSocketPath) + " at most: no saver can bind " +
                           printableText(socketPath));
    }
    std::string folder = parentDirectory(socketPath);
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) {
            problems.push_back(printableText(folder) + " is not a folder");
        } else if (access(folder.c_str(), W_OK | X_OK) != 0) {
            problems.push_back(printableText(folder) + " is not writable: no socket, and no " +
                               "signal held");
        }
    }
    std::string held = HeldSignals::path(socketPath);
    if (lstat(held.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        problems.push_back(printableText(held) +
                           " is not a file: signals sent while no saver listens are lost");
    }
    return problems;
}

}  // namespace floodmark
