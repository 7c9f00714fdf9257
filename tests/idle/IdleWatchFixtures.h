// What the idle watcher's tests share: real input on a test X server and the watcher's status.
#pragma once

// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/RunFloodmark.h"
#include "support/SessionBus.h"
#include "support/StandInSaver.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/XServer.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace floodmark::idletest {

using fixtures::RunningFloodmark;
using fixtures::StandInSaver;
using fixtures::TempDirectory;
using fixtures::XServer;

inline const std::string statusDirectory = "/.local/state/TolveraFloodmarkSaver/status";

// Real input through XTEST: the server's idle time starts again from zero.
inline void movePointer(const XServer& server, int x) {
    std::string command =
        "DISPLAY=" + server.name() + " xdotool mousemove " + std::to_string(x) + " 100";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

inline std::optional<WatcherStatus> watcherStatus(const TempDirectory& home) {
    return WatcherStatus::read(home.path() + statusDirectory + "/" + WatcherStatus::fileName);
}

inline bool statusSays(const TempDirectory& home, bool WatcherStatus::*field) {
    auto status = watcherStatus(home);
    return status && (*status).*field;
}

// Where no session bus answers, nothing inhibits.
inline const std::string noSessionBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/no-such-bus";

inline RunningFloodmark startWatch(const XServer& server, const TempDirectory& home,
                                   const StandInSaver& saver, std::vector<std::string> extra = {},
                                   const std::string& busVariable = noSessionBus) {
    std::vector<std::string> arguments{"idle", "--x11", "--after", "0.02"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return RunningFloodmark(arguments, home.path(),
                            {"DISPLAY=" + server.name(), saver.environment(), busVariable});
}

}  // namespace floodmark::idletest
