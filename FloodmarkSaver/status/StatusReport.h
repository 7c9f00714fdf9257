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
        // Why there is no status: the file was too large, not read, or not a status file.
        std::optional<std::string> unreadable;
    };

    std::string directory;
    std::vector<Process> processes;  // by pid
    // Status files past maxListed, left out of `processes`.
    std::size_t unlisted = 0;

    // A status file is under 2 KiB: a larger one is not read. The files are read in pid order
    // until maxTotalBytes have been; the rest are listed unread, and past maxListed not at all.
    static constexpr std::size_t maxFileBytes = 64 << 10;
    static constexpr std::size_t maxTotalBytes = 1 << 20;
    static constexpr std::size_t maxListed = 4096;

    // No heartbeat for this long makes a status stale: two missed beats.
    static double staleAfter();

    // Reads every "<pid>.json" of `directory` at `now`. Never fails: an unreadable file is
    // listed without a status.
    static StatusReport read(const std::string& directory, double now);

    // Paths are bytes and may not be UTF-8: write it with an error handler that replaces.
    nlohmann::json toJson() const;
    // Lines for a person: one per process, then its counts; printable text only.
    std::string toText(double now) const;
};

}  // namespace floodmark
