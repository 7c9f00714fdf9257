#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/SignalPathProblems.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "FloodmarkSaver/status/StatusReport.h"
#include "platform/kit/Time.h"

#include <iostream>

namespace floodmark::app {

int statusCommand(std::span<char* const> words) {
    CLI::App parser(
        "Shows every saver process's status file: running or stale, mode, socket "
        "ownership, views, signals, replayed, unknown events and GPU fall-backs; and "
        "the idle watcher's.",
        "floodmark status");
    bool asJson = false;
    parser.add_flag("--json", asJson, "The same as one JSON document");
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    double now = currentTime();
    const std::string& directory = SaverStatus::defaultDirectory();
    auto report = StatusReport::read(directory, now);
    auto watcher = WatcherStatus::read(directory + "/" + WatcherStatus::fileName);
    auto problems = signalPathProblems(LiveBus::defaultPath());
    if (asJson) {
        // A home directory's name may be any bytes: those that are not UTF-8 show as U+FFFD.
        auto json = report.toJson();
        json["idleWatcher"] =
            watcher ? nlohmann::json::parse(watcher->toJsonText()) : nlohmann::json();
        json["signalProblems"] = problems;
        std::cout << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::cout << report.toText(now);
        for (const auto& problem : problems) {
            std::cout << "signals go nowhere: " << problem << "\n";
        }
        std::cout << (watcher ? watcher->toText(now) : "idle watcher: not running\n");
    }
    return 0;
}

}  // namespace floodmark::app
