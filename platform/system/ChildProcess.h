#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// One program this process starts and reaps itself. At most one run at a time; the program is
// sent SIGTERM when this process ends, however it ends.
class ChildProcess {
public:
    struct End {
        // Ended by a signal, or with a status other than 0.
        bool failed = false;
    };

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` (a path, or a name looked up in PATH) with `arguments` (not counting the
    // program's own name), its standard error `errors` when that is given. False when it is
    // already running or could not be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               int errors = -1);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // How the child ended, once it has; absent while it runs or when there is none.
    std::optional<End> reap();
    // Waits for the child to end: how it ended, absent when there is none.
    std::optional<End> wait();

private:
    std::optional<End> collect(int options);

    pid_t pid_ = -1;
};

}  // namespace floodmark
