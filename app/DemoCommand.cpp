#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/SignalSender.h"
#include "platform/kit/Time.h"

#include <nlohmann/json.hpp>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <thread>
#include <vector>

namespace floodmark::app {

namespace {

// One line of the scripted afternoon, at `at` seconds of a 120-second script.
struct Beat {
    double at;
    nlohmann::json line;
};

nlohmann::json line(const char* tool, const char* session, const char* event) {
    return {{"tool", tool}, {"session", session}, {"event", event}};
}

nlohmann::json with(nlohmann::json line, const char* key, nlohmann::json value) {
    line[key] = std::move(value);
    return line;
}

// Three agents through an afternoon: prompts of every size, steady tool calls, a failure, a
// compaction, a wait on the user, a rate limit, and stops, one of them leaving work running.
std::vector<Beat> afternoon(double start) {
    const char* claude = "claude-code";
    const char* codex = "codex";
    const char* gemini = "gemini-cli";
    std::vector<Beat> beats{
        {0, {{"event", "ping"}, {"session", "demo-claude"}}},
        {1, with(line(claude, "demo-claude", "prompt_submitted"), "sizeBucket", "m")},
        {12, with(line(codex, "demo-codex", "prompt_submitted"), "sizeBucket", "s")},
        {24, line(claude, "demo-claude", "tool_failure")},
        {30, with(line(gemini, "demo-gemini", "prompt_submitted"), "sizeBucket", "xl")},
        {44, line(codex, "demo-codex", "compaction")},
        {52, line(claude, "demo-claude", "awaiting")},
        {64, with(line(claude, "demo-claude", "prompt_submitted"), "sizeBucket", "l")},
        {70, with(with(line(gemini, "demo-gemini", "halted"), "errorKind", "rate_limit"),
                  "resumesAt", start + 900)},
        {84, with(line(codex, "demo-codex", "stop"), "backgroundTasks", 2)},
        {100, line(claude, "demo-claude", "stop")},
    };
    // Tool calls keep each agent busy between its prompt and its end.
    auto calls = [&](const char* tool, const char* session, double from, double to, double every) {
        for (double at = from; at < to; at += every) {
            beats.push_back({at, line(tool, session, "tool_call")});
        }
    };
    calls(claude, "demo-claude", 3, 51, 2.5);
    calls(claude, "demo-claude", 66, 99, 2);
    calls(codex, "demo-codex", 14, 83, 3.5);
    calls(gemini, "demo-gemini", 32, 69, 1.5);
    std::stable_sort(beats.begin(), beats.end(),
                     [](const Beat& a, const Beat& b) { return a.at < b.at; });
    return beats;
}

constexpr double scriptSeconds = 120;
constexpr double listenerWait = 10;

volatile sig_atomic_t stopped = 0;

}  // namespace

int demoCommand(std::span<char* const> words) {
    CLI::App parser(
        "Plays a scripted afternoon of three agents through the saver's socket, so "
        "that the water rises, tints, ripples and settles with no agent installed.",
        "floodmark demo");
    double seconds = scriptSeconds;
    parser.add_option("--seconds", seconds, "How long the afternoon takes (default 120)")
        ->check(CLI::Range(5.0, 86400.0));
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    const std::string& socket = LiveBus::defaultPath();
    auto waitUntil = std::chrono::steady_clock::now() + std::chrono::duration<double>(listenerWait);
    while (!LiveBus::somethingListens(socket)) {
        if (std::chrono::steady_clock::now() >= waitUntil) {
            std::cerr << "floodmark demo: no saver listens at " << socket
                      << "; start one first (floodmark, or floodmark --fullscreen)\n";
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::signal(SIGINT, [](int) { stopped = 1; });
    std::signal(SIGTERM, [](int) { stopped = 1; });

    SignalSender sender(socket);
    auto begin = std::chrono::steady_clock::now();
    double scale = seconds / scriptSeconds;
    long long sent = 0;
    auto beats = afternoon(currentTime());
    for (const auto& beat : beats) {
        auto due = begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(beat.at * scale));
        // Short naps, so that Ctrl-C ends it at once.
        while (!stopped && std::chrono::steady_clock::now() < due) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                due - std::chrono::steady_clock::now(), std::chrono::milliseconds(100)));
        }
        if (stopped) {
            break;
        }
        sent += sender.deliver(beat.line);
    }
    std::cout << "floodmark demo: " << sent << " of " << beats.size() << " lines delivered\n";
    return 0;
}

}  // namespace floodmark::app
