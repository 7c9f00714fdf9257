#pragma once

#include "platform/idle/IdleSource.h"

#include <string>
#include <vector>

namespace floodmark::app {

struct IdleWatchSettings {
    std::string saverProgram;
    std::vector<std::string> saverArguments;
    double timeoutSeconds = 300;
    // Where the watcher's status file goes: beside the savers'.
    std::string statusDirectory;
};

// Runs the watcher until SIGTERM, SIGINT or SIGHUP, or until the source's provider goes: starts the
// saver when `source` says idle and nothing holds it off, stops it on activity. The saver is
// stopped before it returns 0.
int runIdleWatch(IdleSource& source, const IdleWatchSettings& settings);

}  // namespace floodmark::app
