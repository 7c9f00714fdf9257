#pragma once

#include "FloodmarkSaver/live/LiveSignal.h"

#include <string>
#include <string_view>
#include <vector>

namespace floodmark {

// The file of signals that agent hooks held while no saver listened, beside the socket.
namespace SaverReplay {

inline constexpr int schema = 1;
// How far back a held signal may be and still be replayed, seconds.
inline constexpr double window = 1800;
// A larger file reads as empty.
inline constexpr std::size_t maxFileBytes = 4 << 20;

struct HeldSignal {
    double at;  // when it was recorded
    LiveSignal signal;
};

std::string path(const std::string& socketPath);

// The held signals of the last `window` before `now`, oldest first. Never fails: a missing or
// broken file reads as empty, a broken entry is skipped. The file is left as it is.
std::vector<HeldSignal> read(const std::string& path, double now);
// The same for the file's bytes.
std::vector<HeldSignal> fromText(std::string_view text, double now);

}  // namespace SaverReplay

}  // namespace floodmark
