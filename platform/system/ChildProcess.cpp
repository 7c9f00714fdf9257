#include "platform/system/ChildProcess.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace floodmark {

namespace {

// In the child, between fork and exec: only async-signal-safe calls. The child starts with
// default signal handling and nothing blocked, whatever ours are, and is sent SIGTERM when this
// process ends, even by SIGKILL: a saver that outlived its watcher would cover the screen with
// nobody left to stop it. An exec that fails reports its errno through `report`.
[[noreturn]] void becomeProgram(pid_t parent, int report, int errors, char* const* words) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent || (errors >= 0 && dup2(errors, STDERR_FILENO) < 0)) {
        _exit(127);
    }
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        sigaction(number, &defaults, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvp(words[0], words);
    int error = errno;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

}  // namespace

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         int errors) {
    if (running()) {
        return false;
    }
    std::vector<char*> words;
    words.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        words.push_back(const_cast<char*>(argument.c_str()));
    }
    words.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        becomeProgram(parent, report[1], errors, words.data());
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return false;
    }
    // Closed by a successful exec with nothing written; an errno when the exec failed.
    int error = 0;
    ssize_t got = 0;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    pid_ = pid;
    if (got > 0) {
        // It never ran: reaped now, so that a failed start is not taken for a crash later.
        wait();
        return false;
    }
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
