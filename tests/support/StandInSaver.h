#pragma once

#include "support/Processes.h"
#include "support/TempDirectory.h"

#include <string>
#include <vector>

namespace floodmark::fixtures {

// A shell script the idle watcher starts in place of the saver (FLOODMARK_SAVER_PROGRAM): each
// start appends its pid and arguments as a line of a file beside it, then runs `body`.
class StandInSaver {
public:
    explicit StandInSaver(const TempDirectory& home, const std::string& body = "exec sleep 60");

    const std::string& path() const { return path_; }
    std::string environment() const { return "FLOODMARK_SAVER_PROGRAM=" + path_; }
    // The pid of every start so far, oldest first.
    std::vector<int> starts() const;
    // The arguments of every start so far, oldest first, as one line each.
    std::vector<std::string> arguments() const;

private:
    std::string path_;
    std::string startsPath_;
};

}  // namespace floodmark::fixtures
