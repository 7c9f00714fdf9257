#include "platform/system/ChildProcess.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace floodmark {

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    if (running()) {
        return false;
    }
    std::vector<char*> words;
    words.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        words.push_back(const_cast<char*>(argument.c_str()));
    }
    words.push_back(nullptr);
    // The child starts with default signal handling and nothing blocked, whatever ours are.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int result = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, words.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        return false;
    }
    pid_ = pid;
    return true;
}

void ChildProcess::signal(int number) const {
    if (running()) {
        kill(pid_, number);
    }
}

std::optional<ChildProcess::End> ChildProcess::reap() {
    if (!running()) {
        return std::nullopt;
    }
    return collect(WNOHANG);
}

std::optional<ChildProcess::End> ChildProcess::wait() {
    if (!running()) {
        return std::nullopt;
    }
    return collect(0);
}

std::optional<ChildProcess::End> ChildProcess::collect(int options) {
    int status = 0;
    pid_t result = 0;
    do {
        result = waitpid(pid_, &status, options);
    } while (result < 0 && errno == EINTR);
    if (result != pid_) {
        return std::nullopt;
    }
    pid_ = -1;
    return End{!WIFEXITED(status) || WEXITSTATUS(status) != 0};
}

}  // namespace floodmark
