#include "support/Processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

namespace floodmark::fixtures {

pid_t spawnProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& environment, int outputTo) {
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto& variable : environment) {
            putenv(const_cast<char*>(variable.c_str()));
        }
        if (outputTo >= 0) {
            dup2(outputTo, STDOUT_FILENO);
        }
        std::vector<char*> words;
        for (const auto& word : command) {
            words.push_back(const_cast<char*>(word.c_str()));
        }
        words.push_back(nullptr);
        execvp(words[0], words.data());
        _exit(127);
    }
    return pid;
}

void endProcess(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

bool processAlive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

}  // namespace floodmark::fixtures
