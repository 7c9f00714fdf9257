#include "FloodmarkSaver/hooks/AgentEvents.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/hooks/RateLimitReset.h"
#include "FloodmarkSaver/hooks/ToolResults.h"

namespace floodmark::AgentHook {

std::optional<std::string> textAt(const nlohmann::json& payload, std::string_view key) {
    auto text = textOf(member(payload, key));
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

namespace {

using Payload = nlohmann::json;

Meaning prompt(const Payload& payload, std::string_view key) {
    auto text = textOf(member(payload, key));
    return {"prompt_submitted", text ? std::optional(sizeBucket(*text)) : std::nullopt};
}

bool isTrue(const Payload* value) {
    return value != nullptr && value->is_boolean() && *value;
}

// Claude Code writes the reset time only into the text it shows; its raw API error
// (`error_details`, a string) is read too, in case a later version carries it there.
std::optional<double> resetTime(const Payload& payload, double now) {
    for (std::string_view key : {"error_details", "last_assistant_message"}) {
        if (auto text = textOf(member(payload, key))) {
            if (auto reset = rateLimitResetIn(*text, now)) {
                return reset;
            }
        }
    }
    return std::nullopt;
}

// Claude Code's notifications that leave the agent waiting on its user. "idle_prompt", a
// minute after every finished turn, is not one: the Stop before it settled the session.
bool waitsOnUser(std::string_view kind) {
    return kind == "permission_prompt" || kind == "elicitation_dialog" ||
           kind == "elicitation_url_dialog" || kind == "worker_permission_prompt" ||
           kind == "agent_needs_input";
}

// A session's end halts it: one still working (its Stop lost, or background tasks left) settles,
// and one that stopped already keeps what it stopped on, so that a rate limit or an error stays
// shown after the session end that follows it (as `claude -p` and `copilot -p` end every run).
Meaning sessionEnd(std::optional<std::string> errorKind = std::nullopt) {
    return Meaning{"halted", std::nullopt, std::nullopt, std::move(errorKind)};
}

// Claude Code tells itself, as a prompt, that a background task it started has ended: the agent
// takes up its own work again, the user asked nothing.
bool isTaskNotification(const Payload& payload) {
    auto text = textAt(payload, "prompt").value_or("");
    auto start = text.find_first_not_of(" \t\r\n");
    return start != std::string::npos && text.compare(start, 19, "<task-notification>") == 0;
}

std::optional<Meaning> claudeCode(std::string_view event, const Payload& payload, double now) {
    if (event == "UserPromptSubmit") {
        if (isTaskNotification(payload)) {
            return Meaning{"tool_call"};
        }
        return prompt(payload, "prompt");
    }
    // A tool call counts when it has run, so that it ends a wait for the user's permission;
    // settings written before PostToolUse was installed tell it by PreToolUse alone.
    if (event == "PostToolUse" || event == "PreToolUse") {
        return Meaning{"tool_call"};
    }
    if (event == "PostToolUseFailure") {
        if (isTrue(member(payload, "is_interrupt"))) {
            return std::nullopt;
        }
        return Meaning{"tool_failure"};
    }
    if (event == "PreCompact") {
        return Meaning{"compaction"};
    }
    if (event == "Stop") {
        const Payload* tasks = member(payload, "background_tasks");
        Meaning stop{"stop"};
        if (tasks && tasks->is_array()) {
            stop.backgroundTasks = static_cast<std::int64_t>(tasks->size());
        }
        return stop;
    }
    // The user's interrupt ends the turn with Interrupt alone: Stop does not fire for it.
    if (event == "Interrupt") {
        return Meaning{"stop"};
    }
    if (event == "SessionEnd") {
        return sessionEnd();
    }
    if (event == "Notification") {
        if (waitsOnUser(textAt(payload, "notification_type").value_or(""))) {
            return Meaning{"awaiting"};
        }
        return std::nullopt;
    }
    if (event == "PermissionRequest") {
        return Meaning{"awaiting"};
    }
    if (event == "StopFailure") {
        bool rateLimit = textAt(payload, "error") == "rate_limit";
        return Meaning{"halted", std::nullopt, std::nullopt, rateLimit ? "rate_limit" : "error",
                       rateLimit ? resetTime(payload, now) : std::nullopt};
    }
    if (event == "SessionStart") {
        return Meaning{"ping"};
    }
    return std::nullopt;  // SubagentStart/SubagentStop among others: the parent's process
}

std::optional<Meaning> codex(std::string_view event, const Payload& payload) {
    // Older builds run a `notify` program with the turn's report instead of hooks.
    if (event.empty() && textAt(payload, "type") == "agent-turn-complete") {
        return Meaning{"stop"};
    }
    if (event == "UserPromptSubmit") {
        return prompt(payload, "prompt");
    }
    // As for Claude Code: PostToolUse ends a wait for approval, older settings run PreToolUse.
    if (event == "PostToolUse" || event == "PreToolUse") {
        return Meaning{"tool_call"};
    }
    if (event == "PreCompact") {
        return Meaning{"compaction"};
    }
    // Interrupt fires once when the user stops a turn, in place of Stop.
    if (event == "Stop" || event == "Interrupt") {
        return Meaning{"stop"};
    }
    if (event == "SessionEnd") {
        return sessionEnd();
    }
    if (event == "PermissionRequest") {
        return Meaning{"awaiting"};
    }
    if (event == "SessionStart") {
        return Meaning{"ping"};
    }
    return std::nullopt;
}

std::optional<Meaning> geminiCli(std::string_view event, const Payload& payload) {
    if (event == "BeforeAgent") {
        return prompt(payload, "prompt");
    }
    // A tool call counts when it has run (after any approval, so that it ends the wait);
    // every settings file that runs BeforeTool runs AfterTool too.
    if (event == "AfterTool") {
        const Payload* response = member(payload, "tool_response");
        if (response && ToolResults::geminiToolFailed(*response)) {
            return Meaning{"tool_failure"};
        }
        return Meaning{"tool_call"};
    }
    // Gemini fires an automatic PreCompress before every model request and only then checks
    // whether the history needs compressing: only the user's /compress is sure to compact.
    if (event == "PreCompress") {
        if (textAt(payload, "trigger") == "manual") {
            return Meaning{"compaction"};
        }
        return std::nullopt;
    }
    if (event == "AfterAgent") {
        return Meaning{"stop"};
    }
    if (event == "SessionEnd") {
        return sessionEnd();
    }
    if (event == "Notification") {
        return Meaning{"awaiting"};
    }
    if (event == "SessionStart") {
        return Meaning{"ping"};
    }
    return std::nullopt;
}

std::optional<Meaning> cursor(std::string_view event, const Payload& payload) {
    if (event == "beforeSubmitPrompt") {
        return prompt(payload, "prompt");
    }
    // afterFileEdit is what a Cursor older than preToolUse tells of its tools.
    if (event == "preToolUse" || event == "afterFileEdit") {
        return Meaning{"tool_call"};
    }
    if (event == "postToolUseFailure") {
        if (isTrue(member(payload, "is_interrupt"))) {
            return std::nullopt;  // the user's stop
        }
        return Meaning{"tool_failure"};
    }
    if (event == "preCompact") {
        return Meaning{"compaction"};
    }
    if (event == "stop") {
        if (textAt(payload, "status") == "error") {
            return Meaning{"halted", std::nullopt, std::nullopt, "error"};
        }
        return Meaning{"stop"};
    }
    if (event == "sessionStart") {
        return Meaning{"ping"};
    }
    return std::nullopt;
}

// A rate limit halts the session even where Copilot calls it recoverable (it retries later,
// and the next event of the session lifts the halt). Another recoverable error is retried or
// reported to the model: the session goes on.
std::optional<Meaning> copilotError(const Payload& payload) {
    auto context = textAt(payload, "errorContext").value_or("");
    if (context == "model_call" && ToolResults::copilotRateLimit(payload)) {
        return Meaning{"halted", std::nullopt, std::nullopt, "rate_limit"};
    }
    if (isTrue(member(payload, "recoverable"))) {
        if (context == "tool_execution") {
            return Meaning{"tool_failure"};
        }
        return std::nullopt;
    }
    return Meaning{"halted", std::nullopt, std::nullopt, "error"};
}

std::optional<Meaning> copilotCli(std::string_view event, const Payload& payload) {
    if (event == "userPromptSubmitted") {
        return prompt(payload, "prompt");
    }
    // A tool call counts when it has run, after any approval, so that it ends the wait
    // (failures come as postToolUseFailure since 1.0.15, as postToolUse before).
    if (event == "postToolUseFailure") {
        return Meaning{"tool_failure"};
    }
    if (event == "postToolUse") {
        const Payload* result = member(payload, "toolResult");
        if (result && ToolResults::copilotToolFailed(*result)) {
            return Meaning{"tool_failure"};
        }
        return Meaning{"tool_call"};
    }
    if (event == "agentStop") {
        return Meaning{"stop"};
    }
    if (event == "sessionEnd") {
        if (textAt(payload, "reason") == "error") {
            return sessionEnd("error");
        }
        return sessionEnd();
    }
    if (event == "notification") {
        auto kind = textAt(payload, "notification_type");
        if (!kind) {
            kind = textAt(payload, "notificationType");
        }
        if (kind == "permission_prompt" || kind == "elicitation_dialog") {
            return Meaning{"awaiting"};
        }
        return std::nullopt;  // a shell or agent finished, or the agent idles
    }
    if (event == "errorOccurred") {
        return copilotError(payload);
    }
    if (event == "sessionStart") {
        return Meaning{"ping"};
    }
    return std::nullopt;
}

}  // namespace

std::optional<Meaning> meaningOf(Agent agent, std::string_view event, const nlohmann::json& payload,
                                 double now) {
    switch (agent) {
        case Agent::claudeCode:
            return claudeCode(event, payload, now);
        case Agent::codex:
            return codex(event, payload);
        case Agent::geminiCli:
            return geminiCli(event, payload);
        case Agent::cursor:
            return cursor(event, payload);
        case Agent::copilotCli:
            return copilotCli(event, payload);
    }
    return std::nullopt;
}

}  // namespace floodmark::AgentHook
