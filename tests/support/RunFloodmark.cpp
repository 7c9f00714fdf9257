#include "support/RunFloodmark.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace floodmark::testing {

CommandRun runFloodmark(const std::string& arguments) {
    std::string command = std::string(FLOODMARK_BINARY) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::string output;
    std::array<char, 4096> chunk{};
    size_t count = 0;
    while ((count = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), count);
    }
    int status = pclose(pipe);

    CommandRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        run.lines.push_back(output.substr(start, end - start));
    }
    return run;
}

}  // namespace floodmark::testing
