#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "FloodmarkSaver/frame/ImpulseKind.h"
#include "FloodmarkSaver/frame/SaverStyle.h"

#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// One accepted away-state file of the companion application.
struct PairedState {
    double y = 0;  // target level, 0…1
    double x = 0;  // target surface activity, 0…1
    int severity = -1;
    SaverStyle style = SaverStyle::standard;
    double agents = 0;  // 0…1
    double mix = 0;     // 0…1
    SustainSeries sustain = absentSustain();
    std::optional<ImpulseKind> impulse;
    std::optional<double> impulseAt;  // present exactly when `impulse` is
    long long awaiting = 0;
    double updatedAt = 0;

    // The oldest age at which a file still counts, seconds.
    static constexpr double freshFor = 10.0;
    static constexpr int schema = 1;
    // A larger file reads as absent.
    static constexpr std::size_t maxFileBytes = 1 << 20;

    // "~/.tolvera/away_state.json", expanded once per process.
    static const std::string& defaultPath();

    // The file at `path` if it is well formed and fresh at `now`; absent otherwise. Only reads.
    static std::optional<PairedState> read(const std::string& path, double now);
    // The same for the file's bytes.
    static std::optional<PairedState> fromText(std::string_view text, double now);

    bool operator==(const PairedState&) const = default;
};

}  // namespace floodmark
