#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace floodmark::fixtures {

// Starts `command` (a program looked up in PATH and its arguments) with `environment`
// ("NAME=value") added to the test's own, its standard output going to `outputTo` when given.
pid_t spawnProcess(const std::vector<std::string>& command,
                   const std::vector<std::string>& environment = {}, int outputTo = -1);
// Ends a spawned process with SIGTERM and waits for it; `pid` becomes -1.
void endProcess(pid_t& pid);
// Whether `pid` runs; a zombie, which still answers kill(), does not.
bool processAlive(int pid);

// A session bus (dbus-daemon) of the test's own, so that no test meets the desktop's.
class SessionBus {
public:
    SessionBus();
    ~SessionBus() { end(); }
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool running() const { return !address_.empty(); }
    // DBUS_SESSION_BUS_ADDRESS=... for a program's environment.
    std::string variable() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }
    const std::string& address() const { return address_; }
    void end() { endProcess(pid_); }

private:
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace floodmark::fixtures
