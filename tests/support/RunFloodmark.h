#pragma once

#include <string>
#include <vector>

namespace floodmark::testing {

struct CommandRun {
    int status = -1;                 // exit status; −1 when it did not exit normally
    std::vector<std::string> lines;  // standard output and error, one entry a line
};

// Runs the floodmark binary with `arguments` (shell words) and waits for it to end.
CommandRun runFloodmark(const std::string& arguments);

}  // namespace floodmark::testing
