#include "app/CommandLine.h"
#include "app/HelperProgram.h"
#include "app/IdleSetup.h"
#include "app/IdleWatch.h"

#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/idle/GnomeIdleSource.h"
#include "platform/idle/WaylandIdleSource.h"
#include "platform/idle/X11IdleSource.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <span>
#include <string_view>

namespace {

using namespace floodmark;

// The longest wait a user may ask for: a day.
constexpr double maxMinutes = 24 * 60;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

}  // namespace

int main(int argc, char** argv) {
    // Standard error is the journal or a terminal that may go away; a write there that fails
    // must not end the watcher. The saver starts with default signals again.
    std::signal(SIGPIPE, SIG_IGN);
    std::span<char* const> words(argv, static_cast<std::size_t>(argc));
    // `floodmark idle ...` hands over its whole command line, its name included.
    std::size_t skip = words.size() >= 2 && std::string_view(words[1]) == "idle" ? 2 : 1;
    CLI::App parser(
        "Starts the saver when the session has been idle for a while and nothing holds "
        "idleness off, and stops it at the first input.",
        "floodmark idle");
    double minutes = 5;
    bool x11 = false;
    bool wayland = false;
    std::vector<std::string> saverArguments;
    auto* afterOption = parser
                            .add_option("--after", minutes,
                                        "Minutes of idleness before the saver starts (default 5)")
                            ->check(CLI::Range(0.0, maxMinutes));
    auto* x11Flag = parser.add_flag("--x11", x11, "Watch the X server's idle time");
    parser.add_flag("--wayland", wayland, "Watch the Wayland compositor's idleness")
        ->excludes(x11Flag);
    bool enable = false;
    bool disable = false;
    auto* enableFlag =
        parser.add_flag("--enable", enable,
                        "Run the watcher in every session from now on (a systemd user service)");
    parser.add_flag("--disable", disable, "Stop the watcher and undo --enable")
        ->excludes(enableFlag);
    parser.add_option("saver-arguments", saverArguments, "Arguments for the saver, after --");
    if (auto exit = app::parseCommandLine(parser, words.subspan(skip))) {
        return *exit;
    }
    if (!std::isfinite(minutes)) {
        std::cerr << "floodmark idle: --after takes a number of minutes\n";
        return 2;
    }

    if (enable) {
        return app::enableIdleWatch(
            afterOption->count() > 0 ? std::optional(minutes) : std::nullopt, saverArguments);
    }
    if (disable) {
        return app::disableIdleWatch();
    }

    // A stand-in for tests; otherwise the saver program beside this one.
    std::string saverProgram = environment("FLOODMARK_SAVER_PROGRAM");
    if (saverProgram.empty()) {
        saverProgram = app::helperProgramPath("floodmark-saver").value_or("");
    }
    if (saverProgram.empty()) {
        std::cerr << "floodmark idle: floodmark-saver is missing beside this program and in its "
                     "helpers' folder\n";
        return 1;
    }

    double timeout = minutes * 60;
    std::unique_ptr<IdleSource> source;
    bool waylandSession = !environment("WAYLAND_DISPLAY").empty();
    if (wayland || (waylandSession && !x11)) {
        // XWayland's idle time sees only input to X windows, so it never stands in here.
        source = WaylandIdleSource::open(timeout);
        if (!source) {
            source = GnomeIdleSource::open(timeout);
        }
        if (!source) {
            std::cerr << "floodmark idle: no idle source answered: the compositor on "
                         "WAYLAND_DISPLAY offers no idle protocol Floodmark knows, and GNOME's "
                         "idle monitor is "
                         "not on the session bus\n";
            return 2;
        }
    } else {
        source = X11IdleSource::open(environment("DISPLAY"), timeout);
        if (!source) {
            std::cerr << "floodmark idle: no idle source answered: cannot read the X server's idle "
                         "time on DISPLAY\n";
            return 2;
        }
        // One borderless window on every monitor; on Wayland the saver covers every output.
        saverArguments.insert(saverArguments.begin(), "--fullscreen");
    }
    app::IdleWatchSettings settings{saverProgram, saverArguments, timeout,
                                    SaverStatus::defaultDirectory()};
    return app::runIdleWatch(*source, settings);
}
