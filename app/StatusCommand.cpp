#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/status/SaverStatus.h"
#include "FloodmarkSaver/status/StatusReport.h"
#include "platform/kit/Time.h"

#include <iostream>

namespace floodmark::app {

int statusCommand(std::span<char* const> words) {
    CLI::App parser(
        "Shows every saver process's status file: running or stale, mode, socket "
        "ownership, views, signals, replayed, unknown events and GPU fall-backs.",
        "floodmark status");
    bool asJson = false;
    parser.add_flag("--json", asJson, "The same as one JSON document");
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    double now = currentTime();
    auto report = StatusReport::read(SaverStatus::defaultDirectory(), now);
    if (asJson) {
        // A home directory's name may be any bytes: those that are not UTF-8 show as U+FFFD.
        std::cout << report.toJson().dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
    } else {
        std::cout << report.toText(now);
    }
    return 0;
}

}  // namespace floodmark::app
