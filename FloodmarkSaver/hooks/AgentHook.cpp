#include "FloodmarkSaver/hooks/AgentHook.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "platform/kit/InternetTime.h"

#include <cmath>

namespace floodmark::AgentHook {

namespace {

// One mapped event, before it is addressed to a session.
struct Meaning {
    std::string event;  // a signal's event, or "ping"
    std::optional<std::string> sizeBucket = std::nullopt;
    std::optional<std::int64_t> backgroundTasks = std::nullopt;
    std::optional<std::string> errorKind = std::nullopt;
    std::optional<double> resumesAt = std::nullopt;
};

using Payload = nlohmann::json;

std::optional<std::string> textAt(const Payload& payload, std::string_view key) {
    auto text = textOf(member(payload, key));
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

Meaning prompt(const Payload& payload, std::string_view key) {
    auto text = textOf(member(payload, key));
    return {"prompt_submitted", text ? std::optional(sizeBucket(*text)) : std::nullopt};
}

bool isTrue(const Payload* value) { return value != nullptr && value->is_boolean() && *value; }

// Something there and not null, false or empty: an error report.
bool isPresent(const Payload* value) {
    return value != nullptr && !value->is_null() && !(value->is_boolean() && !*value) &&
           !(value->is_string() && value->get_ref<const std::string&>().empty());
}

// When a rate limit lifts, if the payload says: seconds since 1970 or an internet date-time.
std::optional<double> resetTime(const Payload& payload) {
    for (const Payload* holder : {&payload, member(payload, "error_details")}) {
        for (std::string_view key : {"resets_at", "reset_at", "resetsAt"}) {
            const Payload* value = holder ? member(*holder, key) : nullptr;
            if (value && value->is_number() && !value->is_boolean()) {
                double seconds = value->get<double>();
                if (std::isfinite(seconds) && seconds > 0) {
                    return seconds;
                }
            } else if (auto text = textOf(value)) {
                if (auto time = parseInternetTime(*text)) {
                    return time;
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<Meaning> claudeCode(std::string_view event, const Payload& payload) {
    if (event == "UserPromptSubmit") return prompt(payload, "prompt");
    if (event == "PreToolUse") return Meaning{"tool_call"};
    if (event == "PostToolUseFailure") {
        if (isTrue(member(payload, "is_interrupt"))) return std::nullopt;
        return Meaning{"tool_failure"};
    }
    if (event == "PreCompact") return Meaning{"compaction"};
    if (event == "Stop") {
        const Payload* tasks = member(payload, "background_tasks");
        Meaning stop{"stop"};
        if (tasks && tasks->is_array()) {
            stop.backgroundTasks = static_cast<std::int64_t>(tasks->size());
        }
        return stop;
    }
    if (event == "SessionEnd") return Meaning{"stop"};
    if (event == "Notification") {
        auto kind = textAt(payload, "notification_type").value_or("");
        if (kind == "permission_prompt" || kind == "idle_prompt" ||
            kind == "elicitation_dialog" || kind == "agent_needs_input") {
            return Meaning{"awaiting"};
        }
        return std::nullopt;
    }
    if (event == "PermissionRequest") return Meaning{"awaiting"};
    if (event == "StopFailure") {
        auto error = textAt(payload, "error");
        if (!error) error = textAt(payload, "error_type");
        bool rateLimit = error == "rate_limit";
        return Meaning{"halted", std::nullopt, std::nullopt, rateLimit ? "rate_limit" : "error",
                       rateLimit ? resetTime(payload) : std::nullopt};
    }
    if (event == "SessionStart") return Meaning{"ping"};
    return std::nullopt;  // SubagentStart/SubagentStop among others: the parent's process
}

std::optional<Meaning> codex(std::string_view event, const Payload& payload) {
    // Older builds run a `notify` program with the turn's report instead of hooks.
    if (event.empty() && textAt(payload, "type") == "agent-turn-complete") return Meaning{"stop"};
    if (event == "UserPromptSubmit") return prompt(payload, "prompt");
    if (event == "PreToolUse") return Meaning{"tool_call"};
    if (event == "PreCompact") return Meaning{"compaction"};
    if (event == "Stop" || event == "SessionEnd") return Meaning{"stop"};
    if (event == "PermissionRequest") return Meaning{"awaiting"};
    if (event == "SessionStart") return Meaning{"ping"};
    return std::nullopt;
}

std::optional<Meaning> geminiCli(std::string_view event, const Payload& payload) {
    if (event == "BeforeAgent") return prompt(payload, "prompt");
    if (event == "BeforeTool") return Meaning{"tool_call"};
    if (event == "AfterTool") {
        const Payload* response = member(payload, "tool_response");
        if (response && isPresent(member(*response, "error"))) return Meaning{"tool_failure"};
        return std::nullopt;
    }
    if (event == "PreCompress") return Meaning{"compaction"};
    if (event == "AfterAgent" || event == "SessionEnd") return Meaning{"stop"};
    if (event == "Notification") return Meaning{"awaiting"};
    if (event == "SessionStart") return Meaning{"ping"};
    return std::nullopt;
}

std::optional<Meaning> cursor(std::string_view event, const Payload& payload) {
    if (event == "beforeSubmitPrompt") return prompt(payload, "prompt");
    if (event == "preToolUse") return Meaning{"tool_call"};
    if (event == "postToolUseFailure") return Meaning{"tool_failure"};
    if (event == "preCompact") return Meaning{"compaction"};
    if (event == "stop") {
        if (textAt(payload, "status") == "error") {
            return Meaning{"halted", std::nullopt, std::nullopt, "error"};
        }
        return Meaning{"stop"};
    }
    if (event == "sessionStart") return Meaning{"ping"};
    return std::nullopt;
}

std::optional<Meaning> copilotCli(std::string_view event, const Payload& payload) {
    if (event == "userPromptSubmitted") return prompt(payload, "prompt");
    if (event == "preToolUse") return Meaning{"tool_call"};
    if (event == "postToolUse") {
        const Payload* result = member(payload, "toolResult");
        if (result && textAt(*result, "resultType") == "failure") return Meaning{"tool_failure"};
        return std::nullopt;
    }
    if (event == "agentStop" || event == "sessionEnd") return Meaning{"stop"};
    if (event == "notification") return Meaning{"awaiting"};
    if (event == "errorOccurred") return Meaning{"halted", std::nullopt, std::nullopt, "error"};
    if (event == "sessionStart") return Meaning{"ping"};
    return std::nullopt;
}

std::optional<Meaning> meaningOf(Agent agent, std::string_view event, const Payload& payload) {
    switch (agent) {
        case Agent::claudeCode: return claudeCode(event, payload);
        case Agent::codex: return codex(event, payload);
        case Agent::geminiCli: return geminiCli(event, payload);
        case Agent::cursor: return cursor(event, payload);
        case Agent::copilotCli: return copilotCli(event, payload);
    }
    return std::nullopt;
}

std::optional<std::string> sessionOf(const Call& call) {
    const Payload& payload = call.payload;
    switch (call.agent) {
        case Agent::copilotCli:  // its hooks carry no session id: the agent process is one
            if (call.agentPid) return "pid:" + std::to_string(*call.agentPid);
            return std::nullopt;
        case Agent::cursor:
            if (auto conversation = textAt(payload, "conversation_id")) return conversation;
            return textAt(payload, "session_id");
        case Agent::codex:
            if (auto session = textAt(payload, "session_id")) return session;
            return textAt(payload, "thread-id");
        default:
            return textAt(payload, "session_id");
    }
}

}  // namespace

std::string_view idOf(Agent agent) {
    switch (agent) {
        case Agent::claudeCode: return "claude-code";
        case Agent::codex: return "codex";
        case Agent::geminiCli: return "gemini-cli";
        case Agent::cursor: return "cursor";
        case Agent::copilotCli: return "copilot-cli";
    }
    return "";
}

std::optional<Agent> agentNamed(std::string_view id) {
    for (Agent agent : agents) {
        if (idOf(agent) == id) {
            return agent;
        }
    }
    return std::nullopt;
}

bool repliesWithJson(Agent agent) { return agent == Agent::geminiCli || agent == Agent::cursor; }

std::string sizeBucket(std::string_view prompt) {
    constexpr std::string_view blanks = " \t\n\r\f\v";
    auto first = prompt.find_first_not_of(blanks);
    std::size_t codePoints = 0;
    if (first != std::string_view::npos) {
        auto trimmed = prompt.substr(first, prompt.find_last_not_of(blanks) - first + 1);
        for (unsigned char byte : trimmed) {
            codePoints += (byte & 0xC0) != 0x80;  // continuation bytes belong to their lead
        }
    }
    if (codePoints < 200) return "s";
    if (codePoints < 2000) return "m";
    if (codePoints < 10000) return "l";
    return "xl";
}

std::optional<nlohmann::json> lineFor(const Call& call) {
    if (!call.payload.is_object()) {
        return std::nullopt;
    }
    std::string event = call.event;
    if (event.empty()) {
        event = textAt(call.payload, "hook_event_name").value_or("");
    }
    auto meaning = meaningOf(call.agent, event, call.payload);
    auto session = sessionOf(call);
    if (!meaning || !session || session->empty()) {
        return std::nullopt;
    }
    nlohmann::json line{{"event", meaning->event}, {"session", *session}};
    if (meaning->event != "ping") {
        line["tool"] = idOf(call.agent);
        if (call.agentPid) line["pid"] = *call.agentPid;
        if (meaning->sizeBucket) line["sizeBucket"] = *meaning->sizeBucket;
        if (meaning->backgroundTasks) line["backgroundTasks"] = *meaning->backgroundTasks;
        if (meaning->errorKind) line["errorKind"] = *meaning->errorKind;
        if (meaning->resumesAt) line["resumesAt"] = *meaning->resumesAt;
    }
    return line;
}

}  // namespace floodmark::AgentHook
