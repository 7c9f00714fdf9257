#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace floodmark::fixtures {

struct CommandRun {
    int status = -1;                 // exit status; −1 when it did not exit normally
    std::vector<std::string> lines;  // standard output and error, one entry a line
};

// Runs the floodmark binary with `arguments` (shell words) in the home directory `home`, so
// that it finds that home's files and socket and writes its state there, and waits for it.
// `launcher` goes before it on the shell's line (as `env -u DISPLAY`).
CommandRun runFloodmark(const std::string& arguments, const std::string& home,
                        const std::string& launcher = "");
// Runs a shell command line and waits for it: its standard output, line by line.
CommandRun runCommand(const std::string& command);

// A floodmark process that runs while the test reads its output line by line.
class RunningFloodmark {
public:
    // `environment` adds or replaces variables ("NAME=value") of the test's own; a bare "NAME"
    // removes one.
    RunningFloodmark(const std::vector<std::string>& arguments, const std::string& home,
                     const std::vector<std::string>& environment = {});
    ~RunningFloodmark();
    RunningFloodmark(const RunningFloodmark&) = delete;
    RunningFloodmark& operator=(const RunningFloodmark&) = delete;

    // The next line of standard output; false once the process closed it.
    bool nextLine(std::string& line);
    // Sends `signal` and waits for the process; its exit status, −1 if it did not exit.
    int stop(int signal);
    // Waits up to `seconds` for the process to end by itself: its exit status, −1 if it was
    // killed by a signal, absent if it is still running.
    std::optional<int> waitForExit(double seconds);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

// Ends `saver` with `signal`: its exit status (-2 when it did not end within 5 s) and how long
// it took.
std::pair<int, double> stopTimed(RunningFloodmark& saver, int signal);

}  // namespace floodmark::fixtures
