#include "FloodmarkSaver/hooks/HookConfig.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace floodmark::HookConfig {

namespace {

using Json = nlohmann::ordered_json;

std::string command(Agent agent) { return "floodmark hook --from " + std::string(AgentHook::idOf(agent)); }

// Claude Code, Codex and Gemini CLI share one layout: event → matcher groups → command hooks.
Json groupedHooks(Agent agent, const std::vector<std::string>& events, const Json& extra) {
    Json hooks = Json::object();
    for (const auto& event : events) {
        Json hook{{"type", "command"}, {"command", command(agent)}};
        hook.update(extra);
        hooks[event] = Json::array({Json{{"matcher", ""}, {"hooks", Json::array({hook})}}});
    }
    return Json{{"hooks", hooks}};
}

Json cursorHooks() {
    Json hooks = Json::object();
    for (const char* event : {"sessionStart", "beforeSubmitPrompt", "preToolUse",
                              "postToolUseFailure", "preCompact", "stop"}) {
        hooks[event] = Json::array({Json{{"command", command(Agent::cursor)}}});
    }
    return Json{{"version", 1}, {"hooks", hooks}};
}

// Copilot CLI does not name the event in the payload: each hook says which it is.
Json copilotHooks() {
    Json hooks = Json::object();
    for (const char* event : {"sessionStart", "userPromptSubmitted", "preToolUse", "postToolUse",
                              "notification", "agentStop", "errorOccurred", "sessionEnd"}) {
        hooks[event] = Json::array(
            {Json{{"type", "command"},
                  {"bash", command(Agent::copilotCli) + " --event " + event},
                  {"timeoutSec", 5}}});
    }
    return Json{{"version", 1}, {"hooks", hooks}};
}

}  // namespace

std::string settingsFile(Agent agent) {
    switch (agent) {
        case Agent::claudeCode: return "~/.claude/settings.json";
        case Agent::codex: return "~/.codex/hooks.json";
        case Agent::geminiCli: return "~/.gemini/settings.json";
        case Agent::cursor: return "~/.cursor/hooks.json";
        case Agent::copilotCli: return ".github/hooks/floodmark.json";
    }
    return "";
}

std::string snippet(Agent agent) {
    switch (agent) {
        case Agent::claudeCode:
            // Asynchronous hooks never hold the agent up, whatever the saver does.
            return groupedHooks(agent,
                                {"SessionStart", "UserPromptSubmit", "PreToolUse",
                                 "PostToolUseFailure", "PreCompact", "Notification",
                                 "PermissionRequest", "Stop", "StopFailure", "SessionEnd"},
                                Json{{"async", true}})
                       .dump(2) +
                   "\n";
        case Agent::codex:
            return groupedHooks(agent,
                                {"SessionStart", "UserPromptSubmit", "PreToolUse", "PreCompact",
                                 "PermissionRequest", "Stop", "SessionEnd"},
                                Json::object())
                       .dump(2) +
                   "\n\n# Codex builds without hooks: this line in ~/.codex/config.toml instead\n"
                   "notify = [\"floodmark\", \"hook\", \"--from\", \"codex\"]\n";
        case Agent::geminiCli:
            return groupedHooks(agent,
                                {"SessionStart", "BeforeAgent", "BeforeTool", "AfterTool",
                                 "PreCompress", "Notification", "AfterAgent", "SessionEnd"},
                                Json{{"name", "floodmark"}})
                       .dump(2) +
                   "\n";
        case Agent::cursor: return cursorHooks().dump(2) + "\n";
        case Agent::copilotCli: return copilotHooks().dump(2) + "\n";
    }
    return "";
}

}  // namespace floodmark::HookConfig
