#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace floodmark {

// What the idle watcher tells `floodmark status`: one small file beside the savers' status
// files, rewritten while the watcher runs and removed when it stops.
struct WatcherStatus {
    static constexpr const char* fileName = "idle-watcher.json";
    // A watcher whose file is older than this has stopped without removing it.
    static constexpr double staleAfter = 10;

    std::int64_t pid = 0;
    std::string source;
    double timeoutSeconds = 0;
    bool inhibited = false;
    bool locked = false;
    bool saverRunning = false;
    bool gaveUp = false;
    double updatedAt = 0;

    std::string toJsonText() const;
    // Absent for a missing, oversized or malformed file.
    static std::optional<WatcherStatus> read(const std::string& path);
    // Lines for `floodmark status`: running, stale, or stopped when its process is gone.
    std::string toText(double now) const;

    bool operator==(const WatcherStatus&) const = default;
};

}  // namespace floodmark
