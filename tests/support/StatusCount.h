#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace floodmark::fixtures {

// A count in the status file of saver process `pid` run with home directory `home`; 0 while the
// file is not there or not whole.
inline std::int64_t statusCount(const std::string& home, pid_t pid, const std::string& key) {
    auto status =
        nlohmann::json::parse(std::ifstream(home + "/.local/state/TolveraFloodmarkSaver/status/" +
                                            std::to_string(pid) + ".json"),
                              nullptr, false);
    return status.is_object() ? status.value(key, std::int64_t{0}) : 0;
}

}  // namespace floodmark::fixtures
