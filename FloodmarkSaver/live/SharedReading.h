#pragma once

#include "FloodmarkSaver/live/LiveDemandReading.h"

#include <cstdint>
#include <optional>
#include <string>

namespace floodmark {

// The socket owner's latest demand reading, published in a small file for the saver processes
// of the other monitors, which cannot own the socket too: they step their water toward it
// exactly as the owner does. Impulses are counted, so that a follower that reads less often
// than the owner ticks still shows each one once.
struct SharedReading {
    LiveDemandReading reading;           // its `impulse` is not carried: see below
    double at = 0;                       // when the owner computed it
    std::int64_t impulseSerial = 0;      // how many impulses the owner has had
    std::optional<ImpulseKind> impulse;  // the latest of them
    double impulseAt = 0;

    static constexpr int schema = 1;
    // The owner writes at most this often, followers read at most this often, seconds.
    static constexpr double publishInterval = 0.25;
    // An older reading is not followed: the follower rests.
    static constexpr double freshFor = 2;
    static constexpr std::size_t maxFileBytes = 4096;

    // Where the owner of the socket at `socketPath` publishes: the user's runtime directory
    // (memory, never the disk) when there is one, else beside the socket.
    static std::string pathFor(const std::string& socketPath);

    // Replaces the file atomically, without flushing it to disk. False when it cannot.
    bool write(const std::string& path) const;
    // The file's reading when it is this user's regular file, well formed and fresh at `now`;
    // absent otherwise. Never throws.
    static std::optional<SharedReading> read(const std::string& path, double now);
};

}  // namespace floodmark
