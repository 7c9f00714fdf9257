#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// What `floodmark status` shows: every process's status file in one directory, read back and
// judged fresh or stale.
struct StatusReport {
    struct Process {
        std::string file;
        std::int64_t pid = 0;
        // The file's object; absent when the file is not a status file (unreadable, not JSON).
        std::optional<nlohmann::json> status;
        // Why the process no longer counts ("no heartbeat", "process gone"); absent when live.
        std::optional<std::string> stale;
        std::optional<double> updatedAt;
    };

    std::string directory;
    std::vector<Process> processes;  // by pid

    // No heartbeat for this long makes a status stale: two missed beats.
    static double staleAfter();

    // Reads every "<pid>.json" of `directory` at `now`. Never fails: an unreadable file is
    // listed without a status.
    static StatusReport read(const std::string& directory, double now);

    nlohmann::json toJson() const;
    // Lines for a person: one per process, then its counts.
    std::string toText(double now) const;
};

}  // namespace floodmark
