#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <string>

namespace floodmark {

// The writing side of the held-signal file: signals that found no saver listening wait there,
// beside the socket, until a saver binds and replays them.
namespace HeldSignals {

// The file is kept well under what the replay reader accepts; the oldest entries go first.
inline constexpr std::size_t maxKeptBytes = 3 << 20;
// A signal is appended in place until the file would pass `maxKeptBytes`; it is then rewritten
// down to this, so that a full file costs one rewrite per few thousand signals, not each one.
inline constexpr std::size_t compactedBytes = maxKeptBytes / 4 * 3;
// How long a writer waits for the others, seconds: agents running side by side take turns.
inline constexpr double writerLockTimeout = 5.0;
// How long the replaying feed waits for a writer: it must not stall the saver's frames.
inline constexpr double readerLockTimeout = 0.2;

// The side file whose flock every writer and the replaying feed take.
std::string lockPath(const std::string& replayPath);

// Adds one signal object (as on the socket) recorded at `now` to the file at `replayPath`
// (created 0600), in place; entries older than the replay window and the oldest beyond the
// bound go when it is rewritten. Call it with the lock held. False when the file could not be
// written.
bool add(const std::string& replayPath, const nlohmann::json& signal, double now);

}  // namespace HeldSignals

}  // namespace floodmark
