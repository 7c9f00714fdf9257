#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/common/Utf8Text.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/LiveSignal.h"
#include "FloodmarkSaver/live/SignalSender.h"
#include "platform/kit/Time.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace floodmark::app {

namespace {

struct SignalOptions {
    std::string event;
    std::string tool;
    std::string session;
    std::string sizeBucket;
    std::string errorKind;
    std::int64_t backgroundTasks = -1;
    double resumesAt = 0;
    std::int64_t pid = 0;
    bool ping = false;
};

nlohmann::json lineOf(const SignalOptions& options) {
    if (options.ping) {
        return {{"event", "ping"}, {"session", options.session}};
    }
    nlohmann::json line{
        {"event", options.event}, {"tool", options.tool}, {"session", options.session}};
    if (!options.sizeBucket.empty()) {
        line["sizeBucket"] = options.sizeBucket;
    }
    if (options.backgroundTasks >= 0) {
        line["backgroundTasks"] = options.backgroundTasks;
    }
    if (!options.errorKind.empty()) {
        line["errorKind"] = options.errorKind;
    }
    if (options.resumesAt > 0) {
        line["resumesAt"] = options.resumesAt;
    }
    if (options.pid > 0) {
        line["pid"] = options.pid;
    }
    return line;
}

// Every text goes into a JSON line, which holds UTF-8 only: anything else is refused here
// rather than replaced, so that a session is never silently merged with another.
const CLI::Validator utf8Text(
    [](const std::string& text) { return isValidUtf8(text) ? "" : "not valid UTF-8"; }, "TEXT");

}  // namespace

int signalCommand(std::span<char* const> words) {
    CLI::App parser(
        "Sends one signal line to the saver's socket; with no saver listening, holds "
        "it beside the socket for the next saver to replay (pings are not held).",
        "floodmark signal");
    SignalOptions options;
    parser
        .add_option("--event", options.event,
                    "prompt_submitted, tool_call, compaction, "
                    "tool_failure, stop, awaiting or halted")
        ->check(utf8Text);
    parser.add_option("--tool", options.tool, "The agent tool's name")->check(utf8Text);
    parser.add_option("--session", options.session, "The tool's session id")
        ->required()
        ->check(utf8Text);
    parser.add_option("--size-bucket", options.sizeBucket, "The prompt's size: s, m, l or xl")
        ->check(utf8Text);
    parser
        .add_option("--background-tasks", options.backgroundTasks,
                    "Background tasks left running at a stop")
        ->check(CLI::NonNegativeNumber);
    parser.add_option("--error-kind", options.errorKind, "Why it halted: rate_limit or error")
        ->check(utf8Text);
    parser
        .add_option("--resumes-at", options.resumesAt, "When a rate limit ends, seconds since 1970")
        ->check(CLI::PositiveNumber);
    parser.add_option("--pid", options.pid, "The agent's process id")
        ->check(CLI::Range(2, 1 << 30));
    auto* ping = parser.add_flag("--ping", options.ping, "Send a ping for the session instead");
    ping->excludes(parser.get_option("--event"));
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    nlohmann::json line = lineOf(options);
    if (!options.ping && !LiveSignal::fromJson(line)) {
        std::cerr << "floodmark signal: not a signal: " << line.dump()
                  << " (an --event, a --tool and a --session are needed)\n";
        return 2;
    }
    if (options.ping) {
        return SignalSender(LiveBus::defaultPath()).deliver(line) ? 0 : 1;
    }
    auto outcome = SignalSender(LiveBus::defaultPath()).send(line, currentTime());
    if (outcome == SignalSender::Outcome::lost) {
        std::cerr << "floodmark signal: no saver listens and the signal could not be held\n";
        return 1;
    }
    return 0;
}

}  // namespace floodmark::app
