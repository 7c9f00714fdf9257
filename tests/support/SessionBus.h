#pragma once

#include "support/Processes.h"

#include <string>

namespace floodmark::fixtures {

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
    // Ends the bus and starts another at the same address, as a session bus that restarts.
    bool restart();

private:
    bool launch(const std::string& address);

    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace floodmark::fixtures
