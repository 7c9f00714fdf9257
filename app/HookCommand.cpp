#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/hooks/AgentHook.h"
#include "FloodmarkSaver/hooks/HookConfig.h"
#include "FloodmarkSaver/hooks/JsonValueEnd.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/SignalSender.h"
#include "app/HookSettings.h"
#include "platform/kit/Time.h"
#include "platform/system/ProcessAncestry.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>

namespace floodmark::app {

namespace {

// A payload is never kept larger than this; a larger one is not a payload this hook knows.
constexpr std::size_t maxPayloadBytes = 16 << 20;
// The agent writes its payload at once; a pipe that stays open is read until one whole JSON
// value has come, and is not waited on longer than this.
constexpr auto payloadTimeout = std::chrono::milliseconds(1000);

std::string readPayload() {
    if (isatty(STDIN_FILENO)) {
        return {};
    }
    std::string payload;
    JsonValueEnd end;
    auto deadline = std::chrono::steady_clock::now() + payloadTimeout;
    char chunk[65536];
    while (payload.size() <= maxPayloadBytes) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (left.count() <= 0 || poll(&input, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
        if (count == 0) {
            return payload;
        }
        if (count < 0) {
            return {};
        }
        payload.append(chunk, static_cast<std::size_t>(count));
        if (end.feed({chunk, static_cast<std::size_t>(count)})) {
            return payload;
        }
    }
    return {};
}

// Everything an agent's hook does; whatever happens, the agent goes on. The signal goes first
// and the answer last: an agent that has closed its end of our output already (SIGPIPE is
// ignored) must not cost the signal.
void relay(const std::string& agentName, const std::string& event,
           const std::vector<std::string>& arguments) {
    auto agent = AgentHook::agentNamed(agentName);
    if (!agent) {
        return;
    }
    // Codex's older `notify` passes its report as the last argument instead of on stdin.
    std::string payload = arguments.empty() ? readPayload() : arguments.back();
    auto agentPid = agentProcess(getpid());
    if (!agentPid) {
        agentPid = getppid();
    }
    auto line =
        AgentHook::lineFor({*agent, parseJsonText(payload), event, agentPid, currentTime()});
    if (line) {
        SignalSender(LiveBus::defaultPath()).send(*line, currentTime());
    }
    if (AgentHook::repliesWithJson(*agent)) {
        (void)!write(STDOUT_FILENO, "{}\n", 3);
    }
}

}  // namespace

int hookCommand(std::span<char* const> words) {
    signal(SIGPIPE, SIG_IGN);
    CLI::App parser(
        "Relays a coding agent's hook payload to the saver. Always exits 0 and "
        "prints nothing (an empty JSON object for agents that read one).",
        "floodmark hook");
    std::string agent;
    std::string event;
    std::string configFor;
    std::string installFor;
    std::string uninstallFor;
    bool repository = false;
    bool user = false;
    std::vector<std::string> arguments;
    parser.add_option("--from", agent,
                      "The agent that runs the hook: claude-code, codex, "
                      "gemini-cli, cursor or copilot-cli");
    parser.add_option("--event", event,
                      "The hook's event, for agents whose payload does not "
                      "name it (Copilot CLI)");
    parser.add_option("--print-config", configFor,
                      "Print the settings that make AGENT run this hook (codex-notify: Codex's "
                      "legacy notify line), then exit");
    parser.add_option("--install", installFor,
                      "Add this hook to AGENT's settings file, keeping everything else");
    parser.add_option("--uninstall", uninstallFor, "Take this hook out of AGENT's settings file");
    parser.add_flag("--user", user,
                    "With --install/--uninstall: the user's settings (the default)");
    parser.add_flag("--repo", repository,
                    "With --install/--uninstall: the settings of the repository in the current "
                    "directory");
    parser.add_option("payload", arguments,
                      "The payload, where the agent passes it as an "
                      "argument (Codex's notify)");
    bool forPerson = false;
    for (char* word : words) {
        std::string_view text(word);
        forPerson = forPerson || text.starts_with("--print-config") ||
                    text.starts_with("--install") || text.starts_with("--uninstall");
    }
    try {
        if (auto exit = parseCommandLine(parser, words)) {
            // An agent is never blocked by a mistyped hook: only a person sees the mistake.
            return forPerson || isatty(STDERR_FILENO) ? *exit : 0;
        }
        if (!configFor.empty() || !installFor.empty()) {
            std::error_code error;
            HookConfig::useProgram(std::filesystem::canonical("/proc/self/exe", error).string());
        }
        if (!configFor.empty()) {
            return printHookSettings(configFor);
        }
        if (!installFor.empty() || !uninstallFor.empty()) {
            const std::string& name = installFor.empty() ? uninstallFor : installFor;
            auto target = AgentHook::agentNamed(name);
            if (!target) {
                std::cerr << "floodmark hook: unknown agent '" << name << "'\n";
                return 2;
            }
            return changeHookSettings(
                *target, repository ? HookConfig::Scope::repository : HookConfig::Scope::user,
                !installFor.empty());
        }
        relay(agent, event, arguments);
    } catch (...) {
        // Nothing may reach the agent but exit status 0.
    }
    return 0;
}

}  // namespace floodmark::app
