#pragma once

#include <string>
#include <string_view>

namespace floodmark {

// Replaces the file at `path` with `bytes` so that a reader, a crash or a power loss sees the
// old file or the new one, never a part: a temporary file in the same directory, flushed to
// disk, then renamed over it. False when any step fails; the old file is then untouched.
// `durable` false skips the flush: a reader still never sees a part, but a power loss may
// leave the old file, which is fine for what is rewritten often and matters briefly.
// `mode` is the new file's permission bits.
bool writeFileAtomically(const std::string& path, std::string_view bytes, bool durable = true,
                         unsigned mode = 0644);

// The same for the file `name` in the open directory `directory`.
bool writeFileAtomicallyAt(int directory, const std::string& name, std::string_view bytes,
                           bool durable = true, unsigned mode = 0644);

// Temporaries ("NAME.fmtmp-PID-XXXXXX") that a write interrupted by a crash or a kill left are
// removed once they are this old and their writer is gone, the first time a process writes NAME
// in that directory.
inline constexpr double staleTemporaryAge = 60;
// The same sweep for a file that is mostly changed in place, and rarely replaced.
void removeStaleTemporaries(const std::string& path);
// Whether `entry`, last changed `age` seconds ago, is such a temporary of any name whose
// writer is gone: for a folder where every process writes a file of its own.
bool isAbandonedTemporary(std::string_view entry, double age);
// Earlier versions' temporaries ("NAME.XXXXXX") name no writer: they wait an hour.
inline constexpr double legacyTemporaryAge = 3600;

}  // namespace floodmark
