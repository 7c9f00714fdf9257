#include "FloodmarkSaver/live/HeldSignals.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/live/HeldSignalFile.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/FileLock.h"
#include "platform/system/Files.h"
#include "platform/system/LineJournal.h"
#include "platform/system/ReadFile.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace floodmark::HeldSignals {

namespace {

using HeldSignalFile::Entry;

// The keys of a signal object that a replay reads; nothing else is held.
constexpr const char* signalKeys[] = {"event",           "tool",      "session",   "sizeBucket",
                                      "backgroundTasks", "errorKind", "resumesAt", "pid"};

std::optional<std::string> entryLine(const nlohmann::json& signal, double nowMs) {
    nlohmann::json stamped = nlohmann::json::object();
    stamped["at"] = static_cast<std::int64_t>(nowMs);
    for (const char* key : signalKeys) {
        if (signal.is_object() && signal.contains(key)) {
            stamped[key] = signal[key];
        }
    }
    std::string line =
        stamped.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return line.size() <= maxEntryBytes ? std::optional(line) : std::nullopt;
}

// What of `entries` is still worth replaying at `nowMs`, oldest first.
void keepRecent(std::vector<Entry>& entries, double nowMs) {
    double oldest = nowMs - window * 1000;
    std::erase_if(entries, [&](const Entry& entry) {
        return !std::isfinite(entry.at) || entry.at < oldest;
    });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.at < b.at; });
}

// Adds `entries` to the held file: in place while it has room, else by rewriting it with what
// is still worth replaying (a file the reader could not take whole is mended so too).
bool addToFile(const std::string& replayPath, std::vector<Entry> entries, double nowMs) {
    if (HeldSignalFile::appendInPlace(replayPath, entries, maxKeptBytes)) {
        return true;
    }
    // Rewrites are rare: a rewrite a killed writer left half done is not left for them.
    removeStaleTemporaries(replayPath);
    auto content = readSmallFile(replayPath, maxFileBytes);
    auto kept = content ? HeldSignalFile::entriesOf(*content) : std::vector<Entry>();
    kept.insert(kept.end(), std::make_move_iterator(entries.begin()),
                std::make_move_iterator(entries.end()));
    keepRecent(kept, nowMs);
    return HeldSignalFile::rewrite(replayPath, std::move(kept), compactedBytes);
}

constexpr int maxFoldRounds = 4;

// Folds the journal into the file when no one else holds the lock; what could not be written
// stays in the journal's parts for the next fold.
void fold(const std::string& replayPath, double nowMs) {
    FileLock lock(lockPath(replayPath));
    if (!lock.held()) {
        return;  // the holder folds, or the next one
    }
    // Lines that writers added while this fold ran, and could not fold themselves as the lock
    // was taken, are folded too (a few rounds: writers that never stop must not keep it here).
    for (int round = 0; round < maxFoldRounds; ++round) {
        JournalTake taken(journalPath(replayPath), maxTakenJournalBytes);
        auto entries = HeldSignalFile::journalEntries(taken.text());
        if (!entries.empty() && !addToFile(replayPath, std::move(entries), nowMs)) {
            return;
        }
        taken.remove();
        if (access(journalPath(replayPath).c_str(), F_OK) != 0) {
            return;
        }
    }
}

std::vector<HeldSignal> signalsOf(const std::vector<Entry>& entries, double now) {
    std::vector<HeldSignal> held;
    for (const auto& entry : entries) {
        double at = entry.at / 1000;
        if (!(at <= now + lateTakeSlack && now - at <= window)) {
            continue;
        }
        if (auto signal = LiveSignal::fromJson(parseJsonText(entry.text))) {
            held.push_back({std::min(at, now), std::move(*signal)});
        }
    }
    std::stable_sort(held.begin(), held.end(),
                     [](const HeldSignal& a, const HeldSignal& b) { return a.at < b.at; });
    return held;
}

}  // namespace

std::string path(const std::string& socketPath) {
    std::string directory = parentDirectory(socketPath);
    return directory == "/" ? "/l.replay.json" : directory + "/l.replay.json";
}

std::string lockPath(const std::string& replayPath) {
    return replayPath + ".lock";
}

std::string journalPath(const std::string& replayPath) {
    return replayPath + ".journal";
}

bool hold(const std::string& replayPath, const nlohmann::json& signal, double now) {
    double nowMs = std::floor(now * 1000);
    auto line = entryLine(signal, nowMs);
    if (!line || !appendToJournal(journalPath(replayPath), *line, maxJournalBytes)) {
        return false;
    }
    fold(replayPath, nowMs);
    return true;
}

bool waiting(const std::string& replayPath) {
    return access(replayPath.c_str(), F_OK) == 0 || journalWaiting(journalPath(replayPath));
}

std::vector<HeldSignal> take(const std::string& replayPath, double now) {
    // Writers change the file only under this lock; the journal needs none.
    FileLock lock(lockPath(replayPath));
    JournalTake taken(journalPath(replayPath), maxTakenJournalBytes);
    auto entries = HeldSignalFile::journalEntries(taken.text());
    if (lock.held()) {
        if (auto content = readSmallFile(replayPath, maxFileBytes)) {
            auto inFile = HeldSignalFile::entriesOf(*content);
            entries.insert(entries.begin(), std::make_move_iterator(inFile.begin()),
                           std::make_move_iterator(inFile.end()));
        }
        unlink(replayPath.c_str());
    }
    taken.remove();
    return signalsOf(entries, now);
}

std::vector<HeldSignal> read(const std::string& path, double now) {
    auto content = readSmallFile(path, maxFileBytes);
    return content ? fromText(*content, now) : std::vector<HeldSignal>();
}

std::vector<HeldSignal> fromText(std::string_view text, double now) {
    return signalsOf(HeldSignalFile::entriesOf(text), now);
}

double replayInto(LiveDemandAggregator& aggregator, const std::vector<HeldSignal>& held,
                  double from, double tickStep) {
    double ticked = from;
    for (const auto& [heldAt, signal] : held) {
        double at = std::max(heldAt, from);
        if (at - ticked >= tickStep) {
            aggregator.tick(at, at - ticked);
            ticked = at;
        }
        aggregator.ingest(signal, at);
    }
    return ticked;
}

}  // namespace floodmark::HeldSignals
