#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/paired/AwayStateText.h"
#include "FloodmarkSaver/paired/PairedState.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <iostream>

namespace floodmark::app {

namespace {

// Well inside the readers' freshness limit, so that a late rewrite never lets the file go stale.
constexpr double refreshInterval = 2.0;

// Waits up to `seconds` for SIGINT, SIGTERM or SIGHUP (blocked by the caller); true when one came.
bool stopRequested(const sigset_t& stops, double seconds) {
    timespec wait{static_cast<time_t>(seconds),
                  static_cast<long>((seconds - std::floor(seconds)) * 1e9)};
    return sigtimedwait(&stops, nullptr, &wait) > 0;
}

}  // namespace

int awayCommand(std::span<char* const> words) {
    CLI::App parser(
        "Writes the companion's away-state file and keeps it fresh until stopped "
        "(or for --for seconds), then removes it: the water follows it meanwhile.",
        "floodmark away");
    PairedState state;
    std::string style = "standard";
    std::string impulse;
    std::vector<double> sustain;
    double depth = 0;
    double duration = 0;
    parser.add_option("--y", state.y, "Water level, 0 to 1")
        ->required()
        ->check(CLI::Range(0.0, 1.0));
    parser.add_option("--x", state.x, "Surface activity, 0 to 1")->check(CLI::Range(0.0, 1.0));
    parser.add_option("--severity", state.severity, "Severity code of the work (tint)");
    parser.add_option("--awaiting", state.awaiting, "Agents waiting for the user")
        ->check(CLI::NonNegativeNumber);
    parser.add_option("--style", style, "standard, still, bloom, unfold, mosaic or splinter");
    parser.add_option("--depth", depth, "Depth of work, 0 to 1")->check(CLI::Range(0.0, 1.0));
    parser.add_option("--sustain", sustain, "Five values 0 to 1, comma-separated")
        ->delimiter(',')
        ->expected(5)
        ->check(CLI::Range(0.0, 1.0));
    parser.add_option("--impulse", impulse,
                      "A one-off impulse at the start: compaction, "
                      "failure or session_end");
    parser.add_option("--for", duration, "Seconds until the file is removed")
        ->check(CLI::PositiveNumber);
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    auto chosenStyle = SaverStyle::fromRawValue(style);
    if (!chosenStyle) {
        std::cerr << "floodmark away: --style: unknown style '" << style << "'\n";
        return 2;
    }
    state.style = *chosenStyle;
    double start = currentTime();
    if (!impulse.empty()) {
        state.impulse = ImpulseKind::fromRawValue(impulse);
        if (!state.impulse) {
            std::cerr << "floodmark away: --impulse: unknown impulse '" << impulse << "'\n";
            return 2;
        }
        state.impulseAt = start;
    }
    // Both weights at once make the readers' depth exactly this value.
    state.agents = depth;
    state.mix = depth;
    if (!sustain.empty()) {
        state.sustain.assign(sustain.begin(), sustain.end());
    }

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_BLOCK, &stops, nullptr);

    const std::string& path = PairedState::defaultPath();
    createDirectories(parentDirectory(path), 0700);
    for (;;) {
        double now = currentTime();
        if (!writeFileAtomically(path, awayStateText(state, now), false)) {
            std::cerr << "floodmark away: cannot write " << path << "\n";
            return 1;
        }
        double left = duration > 0 ? start + duration - now : refreshInterval;
        if (left <= 0 || stopRequested(stops, std::min(refreshInterval, left))) {
            break;
        }
    }
    unlink(path.c_str());
    return 0;
}

}  // namespace floodmark::app
