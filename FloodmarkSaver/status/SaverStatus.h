#pragma once

#include "FloodmarkSaver/frame/DrawMiss.h"
#include "FloodmarkSaver/frame/FeedMode.h"
#include "platform/kit/Time.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// The process's diagnostics, mirrored into a small JSON file named by the process id that
// anyone may read from outside. Main thread only; every failure is silent.
class SaverStatus {
public:
    static constexpr double heartbeatInterval = 2.0;
    // Other processes' files older than this are removed, seconds.
    static constexpr double pruneAfter = 86400;
    static constexpr int schema = 1;
    // Writes asked for by a flood of events (pings) come at most this often, seconds.
    static constexpr double minWriteInterval = 0.25;
    // Text that a client sent is kept to this many bytes in the file.
    static constexpr std::size_t maxClientTextBytes = 256;

    SaverStatus(std::string directory, std::int32_t pid);

    // The process's status object, in the default directory unless one was installed.
    static const std::shared_ptr<SaverStatus>& shared();
    // Puts `status` in place of the process's status object, as a test does; views and feeds
    // made afterwards report to it.
    static void install(std::shared_ptr<SaverStatus> status);
    // The status/ folder of the application directory.
    static const std::string& defaultDirectory();

    // Writes when `heartbeatInterval` has passed since the last write, or the clock went back.
    void heartbeat(double now);
    void write(double now);
    // Writes now if the last write is `minWriteInterval` old, else at the first heartbeat
    // after that: however fast events come, the file is rewritten at most four times a second.
    void writeSoon(double now);
    // What happened. Each waits for the next heartbeat unless it says that it writes.
    void viewOpened(bool preview, double now);  // writes
    void viewClosed(bool preview, double now);  // writes
    // Where the water comes from, as the saver's feed arbitrated it (a preview's never counts).
    void feedArbitrated(FeedMode mode, bool ownsBus, bool following);
    void busReleased(double now);                                                  // writes
    void boundSocket(const std::string& path, std::int64_t replayed, double now);  // writes
    void bindRefused(double now);
    void heldSignalsReplayed(std::int64_t count);
    void signalReceived(std::string_view event, double at);
    // A ping names its session, kept to maxClientTextBytes; written soon.
    void pingReceived(std::string_view session, double at);
    void unknownEventReceived();
    // What the bounds on clients' input dropped since the last call.
    struct Dropped {
        std::int64_t lines = 0;
        std::int64_t closedClients = 0;
        std::int64_t evictedSessions = 0;
        std::int64_t refusedPeers = 0;
    };
    void inputDropped(const Dropped& dropped);
    void drawsWithCairo(std::string reason);
    void recordDrawMiss(std::optional<DrawMiss> miss, double now);
    void recordFallback(double now);  // writes
    // An exception that a host call caught rather than let through.
    void recordCaughtException() { ++record_.caughtExceptions; }
    nlohmann::json toJson(double now) const;

    static std::string stamp(double time);
    std::string filePath() const;

    // What the file states, as the methods below recorded it.
    struct Record {
        std::int64_t previewViews = 0;
        std::int64_t saverViews = 0;
        std::optional<FeedMode> mode;
        bool ownsBus = false;
        bool following = false;  // shows the water of another process that owns the socket
        std::optional<std::string> socketPath;
        std::optional<double> boundAt;
        std::optional<double> bindRefusedAt;
        std::int64_t signals = 0;
        std::optional<double> lastSignalAt;
        std::optional<std::string> lastSignalEvent;
        std::int64_t unknownEvents = 0;
        std::optional<double> lastPingAt;
        std::optional<std::string> lastPingSession;
        std::int64_t replayed = 0;
        std::int64_t drawMisses = 0;
        std::optional<DrawMiss> lastDrawMiss;
        std::optional<double> lastDrawMissAt;
        std::int64_t metalFallbacks = 0;
        std::optional<double> lastFallbackAt;
        std::int64_t caughtExceptions = 0;
        // What the bounds on clients' input dropped: lines past the full queue to the main thread,
        // clients closed (too many at once, or too much unfinished text), sessions evicted.
        std::int64_t droppedLines = 0;
        std::int64_t closedClients = 0;
        std::int64_t evictedSessions = 0;
        // Peers on the socket of a user other than this one and root, closed unheard.
        std::int64_t refusedPeers = 0;
        // Why a view draws with Cairo rather than on the GPU, when one does.
        std::optional<std::string> cairoReason;
    };
    const Record& record() const { return record_; }

    const std::string& directory() const { return directory_; }
    std::int32_t pid() const { return pid_; }

private:
    // Removes other processes' status files older than `pruneAfter`; once per object.
    void prune(int folder, double now);

    std::string directory_;
    std::int32_t pid_;
    double lastWrite_ = distantPast;
    bool writePending_ = false;
    bool pruned_ = false;
    Record record_;
};

}  // namespace floodmark
