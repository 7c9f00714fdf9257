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

}  // namespace floodmark::fixtures
