#pragma once

#include "FloodmarkSaver/live/LiveSignal.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace floodmark {

class LiveDemandAggregator;

// Signals that found no saver listening wait beside the socket until a saver binds and replays
// them. They wait in "l.replay.json" (`{"schema":1,"signals":[{..., "at": MS}, ...]}`), the
// file that other programs read and write too, under the flock of "l.replay.json.lock". A hold
// never waits for that lock: it appends one line to a journal beside the file,
// "l.replay.json.journal", and whoever next finds the lock free folds the journal into the
// file. The saver takes both.
namespace HeldSignals {

inline constexpr int schema = 1;
// How far back a held signal may be and still be replayed, seconds.
inline constexpr double window = 1800;
// How far ahead of a take's time a held signal may be and still be replayed (at that time): a
// hook that held it while the saver bound, after the saver read the clock and before it took.
inline constexpr double lateTakeSlack = 5;

// A larger file reads as empty.
inline constexpr std::size_t maxFileBytes = 4 << 20;
// The writers keep the file well under that; the oldest entries go first.
inline constexpr std::size_t maxKeptBytes = 3 << 20;
static_assert(maxKeptBytes < maxFileBytes);
// An entry that would pass the cap is added by rewriting the file down to this, so that a full
// file costs one rewrite per few thousand signals, not each one.
inline constexpr std::size_t compactedBytes = maxKeptBytes / 4 * 3;

// One held entry, at most: the keys a signal has (a tool and a session of at most
// LiveSignal::maxTextBytes, even escaped six times over) and its stamp.
inline constexpr std::size_t maxEntryBytes = 4096;
static_assert(2 * 6 * LiveSignal::maxTextBytes + 512 < maxEntryBytes);
// The journal is set aside as its older generation once it reaches this: while no one can fold
// it, it keeps the newest signals and stays bounded.
inline constexpr std::size_t maxJournalBytes = 1 << 20;
// What the saver and a folder read of the journal's parts at one take, at most: both
// generations, and the lines of many writers that passed the journal's cap at the same moment.
inline constexpr std::size_t maxTakenJournalBytes = 4 * maxJournalBytes;
static_assert(2 * maxJournalBytes + 256 * maxEntryBytes <= maxTakenJournalBytes);

struct HeldSignal {
    double at;  // when it was recorded
    LiveSignal signal;
};

// The held file beside `socketPath`.
std::string path(const std::string& socketPath);
std::string lockPath(const std::string& replayPath);
std::string journalPath(const std::string& replayPath);

// Holds one signal object (as on the socket) recorded at `now` for the next saver: appends it
// to the journal (created 0600) and folds the journal into the file if the lock is free.
// Never waits on another process. False when the signal could not be written.
bool hold(const std::string& replayPath, const nlohmann::json& signal, double now);

// Whether anything waits to be taken beside `replayPath`.
bool waiting(const std::string& replayPath);
// Every held signal of the last `window` before `now` (and of `lateTakeSlack` after it, as at
// `now`), oldest first, and removes what it took.
// Never waits: the file is taken when its lock is free (else it waits for the next take), the
// journal always.
std::vector<HeldSignal> take(const std::string& replayPath, double now);

// The held signals of the file at `path` alone, as take() reads them, leaving it as it is.
// Never fails: a missing or broken file reads as empty, a broken entry is skipped, and a file
// torn off keeps every whole entry before the tear.
std::vector<HeldSignal> read(const std::string& path, double now);
// The same for the file's bytes.
std::vector<HeldSignal> fromText(std::string_view text, double now);

// Ingests `held` at their own times, none before `from`, ticking the aggregator at most every
// `tickStep` of those times: a tick walks every session, so ticking between every two of tens
// of thousands of entries would cost their square. Gives the time of the last tick.
double replayInto(LiveDemandAggregator& aggregator, const std::vector<HeldSignal>& held,
                  double from, double tickStep);

}  // namespace HeldSignals

}  // namespace floodmark
