#include "support/RunFloodmark.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace floodmark::fixtures {

CommandRun runFloodmark(const std::string& arguments, const std::string& home,
                        const std::string& launcher) {
    return runCommand(launcher + " HOME='" + home + "' XDG_STATE_HOME= " + FLOODMARK_BINARY + " " +
                      arguments + " 2>&1");
}

CommandRun runCommand(const std::string& command) {
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

RunningFloodmark::RunningFloodmark(const std::vector<std::string>& arguments,
                                   const std::string& home,
                                   const std::vector<std::string>& environment) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_STATE_HOME");
        for (const auto& variable : environment) {
            if (variable.find('=') == std::string::npos) {
                unsetenv(variable.c_str());
            } else {
                putenv(const_cast<char*>(variable.c_str()));
            }
        }
        std::vector<char*> argv{const_cast<char*>(FLOODMARK_BINARY)};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(FLOODMARK_BINARY, argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    output_ = fdopen(pipeEnds[0], "r");
}

RunningFloodmark::~RunningFloodmark() {
    stop(SIGKILL);
    if (output_ != nullptr) {
        fclose(output_);
    }
}

bool RunningFloodmark::nextLine(std::string& line) {
    line.clear();
    if (output_ == nullptr) {
        return false;
    }
    for (int character; (character = fgetc(output_)) != EOF;) {
        if (character == '\n') {
            return true;
        }
        line.push_back(static_cast<char>(character));
    }
    return false;
}

int RunningFloodmark::stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<int> RunningFloodmark::waitForExit(double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

std::pair<int, double> stopTimed(RunningFloodmark& saver, int signal) {
    auto start = std::chrono::steady_clock::now();
    kill(saver.pid(), signal);
    auto status = saver.waitForExit(5);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {status.value_or(-2), seconds};
}

}  // namespace floodmark::fixtures
