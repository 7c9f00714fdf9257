#include "FloodmarkSaver/hooks/HookConfig.h"

#include <algorithm>
#include <vector>

namespace floodmark::HookConfig {

namespace {

// Seconds an agent waits for the hook before it gives up on it; the hook needs 20 ms.
constexpr int timeoutSeconds = 5;

std::string& programDirectory() {
    static std::string directory;
    return directory;
}

// The shell's search path with the installing program's directory first, so that an agent
// whose PATH lacks floodmark (Codex's app-server daemon keeps the PATH it started with) still
// finds it; where that directory is gone (a settings folder shared with a container or another
// machine), floodmark on PATH answers.
std::string searchPathFirst() {
    const std::string& directory = programDirectory();
    if (directory.empty()) {
        return "";
    }
    std::string quoted = "'";
    for (char c : directory) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return "PATH=" + quoted + "'${PATH:+:$PATH}; ";  // no empty entry: that would be "."
}

// `hook` run where floodmark is found, and exit status 0 whatever happens.
std::string guarded(const std::string& hook) {
    return searchPathFirst() + "command -v floodmark >/dev/null 2>&1 && " + hook + " || true";
}

std::string marker(Agent agent) {
    return "floodmark hook --from " + std::string(AgentHook::idOf(agent));
}

bool layoutIsGrouped(Agent agent) {
    return agent == Agent::claudeCode || agent == Agent::codex || agent == Agent::geminiCli;
}

// A tool call is heard after it has run (PostToolUse and its kin): that event also ends a
// wait for the user's approval, which the Pre event comes before.
std::vector<std::string> eventsOf(Agent agent) {
    switch (agent) {
        case Agent::claudeCode:
            return {"SessionStart", "UserPromptSubmit", "PostToolUse",       "PostToolUseFailure",
                    "PreCompact",   "Notification",     "PermissionRequest", "Stop",
                    "StopFailure",  "Interrupt",        "SessionEnd"};
        case Agent::codex:
            return {"SessionStart", "UserPromptSubmit",  "PostToolUse",
                    "PreCompact",   "PermissionRequest", "Stop",
                    "Interrupt",    "SessionEnd"};
        case Agent::geminiCli:
            return {"SessionStart", "BeforeAgent", "AfterTool", "PreCompress",
                    "Notification", "AfterAgent",  "SessionEnd"};
        case Agent::cursor:
            // Cursor refuses a whole hooks file naming an event it does not know: only those
            // every Cursor with hooks (1.7 on) knows.
            return {"beforeSubmitPrompt", "afterFileEdit", "stop"};
        case Agent::copilotCli:
            return {"sessionStart", "userPromptSubmitted", "postToolUse",   "postToolUseFailure",
                    "notification", "agentStop",           "errorOccurred", "sessionEnd"};
    }
    return {};
}

// Claude Code kills the asynchronous hooks still running when `claude -p` exits: the events
// that end a turn or a session run synchronously (the hook takes a few milliseconds).
bool endsTurn(const std::string& event) {
    return event == "Stop" || event == "StopFailure" || event == "Interrupt" ||
           event == "SessionEnd";
}

// Codex clamps the SessionEnd and Interrupt hooks to 3 s and warns on every start otherwise.
int timeoutFor(Agent agent, const std::string& event) {
    if (agent == Agent::codex && (event == "SessionEnd" || event == "Interrupt")) {
        return 3;
    }
    return timeoutSeconds;
}

// One hook entry in the agent's own terms, its time-out included.
Json hookEntry(Agent agent, const std::string& event) {
    std::string command = guardedCommand(agent, agent == Agent::copilotCli ? event : "");
    int timeout = timeoutFor(agent, event);
    switch (agent) {
        case Agent::claudeCode: {
            Json entry{{"type", "command"}, {"command", command}, {"timeout", timeout}};
            if (!endsTurn(event)) {
                entry["async"] = true;  // never holds the agent up
            }
            return entry;
        }
        case Agent::codex:
            return {{"type", "command"}, {"command", command}, {"timeout", timeout}};
        case Agent::geminiCli:  // milliseconds
            return {{"name", "floodmark"},
                    {"type", "command"},
                    {"command", command},
                    {"timeout", timeout * 1000}};
        case Agent::cursor:
            return {{"command", command}, {"timeout", timeout}};
        case Agent::copilotCli:
            return {{"type", "command"}, {"bash", command}, {"timeoutSec", timeout}};
    }
    return Json::object();
}

bool isOurs(Agent agent, const Json& hook) {
    for (const char* key : {"command", "bash"}) {
        auto found = hook.find(key);
        if (found != hook.end() && found->is_string() &&
            found->get_ref<const std::string&>().find(marker(agent)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Drops our hooks from one event's list; a group whose hooks were all ours goes with them.
Json withoutOurs(Agent agent, const Json& list) {
    Json kept = Json::array();
    for (const auto& item : list) {
        if (layoutIsGrouped(agent) && item.is_object() && item.contains("hooks") &&
            item["hooks"].is_array()) {
            Json group = item;
            Json hooks = Json::array();
            for (const auto& hook : item["hooks"]) {
                if (!isOurs(agent, hook)) {
                    hooks.push_back(hook);
                }
            }
            if (hooks.empty() && !item["hooks"].empty()) {
                continue;
            }
            group["hooks"] = hooks;
            kept.push_back(group);
        } else if (!isOurs(agent, item)) {
            kept.push_back(item);
        }
    }
    return kept;
}

}  // namespace

std::string settingsFile(Agent agent, Scope scope) {
    bool user = scope == Scope::user;
    switch (agent) {
        case Agent::claudeCode:
            return user ? "~/.claude/settings.json" : ".claude/settings.json";
        case Agent::codex:
            return user ? "~/.codex/hooks.json" : ".codex/hooks.json";
        case Agent::geminiCli:
            return user ? "~/.gemini/settings.json" : ".gemini/settings.json";
        case Agent::cursor:
            return user ? "~/.cursor/hooks.json" : ".cursor/hooks.json";
        case Agent::copilotCli:
            return user ? "~/.copilot/hooks/floodmark.json" : ".github/hooks/floodmark.json";
    }
    return "";
}

void useProgram(const std::string& path) {
    auto slash = path.rfind('/');
    bool usable = path.starts_with('/') && path.find(':') == std::string::npos &&
                  path.substr(slash + 1) == "floodmark";
    programDirectory() = usable ? path.substr(0, std::max<std::size_t>(slash, 1)) : "";
}

std::string guardedCommand(Agent agent, const std::string& event) {
    return guarded(marker(agent) + (event.empty() ? "" : " --event " + event));
}

Json settings(Agent agent) {
    return installed(agent, Json::object());
}

std::string codexNotifyLine() {
    // Codex appends its report as the last argument: "$1" of the guarded shell command. A JSON
    // string is a TOML basic string.
    std::string command = guarded(marker(Agent::codex) + " \"$1\"");
    return "notify = [\"sh\", \"-c\", " + Json(command).dump() + ", \"floodmark-notify\"]\n";
}

Json installed(Agent agent, Json existing) {
    existing = uninstalled(agent, std::move(existing));
    if (!layoutIsGrouped(agent) && !existing.contains("version")) {
        existing["version"] = 1;
    }
    if (!existing.contains("hooks") || !existing["hooks"].is_object()) {
        existing["hooks"] = Json::object();
    }
    Json& hooks = existing["hooks"];
    for (const auto& event : eventsOf(agent)) {
        Json entry = hookEntry(agent, event);
        if (layoutIsGrouped(agent)) {
            entry = Json{{"matcher", ""}, {"hooks", Json::array({entry})}};
        }
        if (!hooks.contains(event) || !hooks[event].is_array()) {
            hooks[event] = Json::array();
        }
        hooks[event].push_back(entry);
    }
    return existing;
}

Json uninstalled(Agent agent, Json existing) {
    if (!existing.is_object() || !existing.contains("hooks") || !existing["hooks"].is_object()) {
        return existing;
    }
    Json hooks = Json::object();
    for (const auto& [event, list] : existing["hooks"].items()) {
        if (!list.is_array()) {
            hooks[event] = list;
            continue;
        }
        Json kept = withoutOurs(agent, list);
        if (!kept.empty() || list.empty()) {
            hooks[event] = kept;
        }
    }
    if (hooks.empty()) {
        existing.erase("hooks");
    } else {
        existing["hooks"] = hooks;
    }
    return existing;
}

std::string unmergeable(Agent agent, const Json& existing) {
    auto hooks = existing.find("hooks");
    if (hooks == existing.end()) {
        return "";
    }
    if (!hooks->is_object()) {
        return "\"hooks\"";
    }
    for (const auto& event : eventsOf(agent)) {
        auto list = hooks->find(event);
        if (list != hooks->end() && !list->is_array()) {
            return "\"hooks\".\"" + event + "\"";
        }
    }
    return "";
}

bool hasOurHooks(Agent agent, const Json& existing) {
    // Not "uninstalling changes it": that also drops an empty "hooks", which is the user's.
    auto hooks = existing.find("hooks");
    if (hooks == existing.end() || !hooks->is_object()) {
        return false;
    }
    for (const auto& [event, list] : hooks->items()) {
        if (list.is_array() && withoutOurs(agent, list).size() != list.size()) {
            return true;
        }
        for (const auto& group : list) {
            if (layoutIsGrouped(agent) && group.is_object() && group.contains("hooks") &&
                group["hooks"].is_array() &&
                withoutOurs(agent, group["hooks"]).size() != group["hooks"].size()) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace floodmark::HookConfig
