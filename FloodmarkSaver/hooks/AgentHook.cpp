#include "FloodmarkSaver/hooks/AgentHook.h"

#include "FloodmarkSaver/hooks/AgentEvents.h"
#include "FloodmarkSaver/live/LiveSignal.h"

#include <cstdio>

namespace floodmark::AgentHook {

namespace {

using Payload = nlohmann::json;

// The session the payload names.
std::optional<std::string> namedSession(const Call& call) {
    const Payload& payload = call.payload;
    switch (call.agent) {
        case Agent::copilotCli:
            return textAt(payload, "sessionId");
        case Agent::cursor:
            if (auto conversation = textAt(payload, "conversation_id")) {
                return conversation;
            }
            return textAt(payload, "session_id");
        case Agent::codex:
            if (auto session = textAt(payload, "session_id")) {
                return session;
            }
            return textAt(payload, "thread-id");
        default:
            return textAt(payload, "session_id");
    }
}

// The saver takes no session name over LiveSignal::maxTextBytes: a longer one keeps a readable
// head, cut between UTF-8 characters, and a 64-bit FNV-1a digest of the whole, so that each
// still keys a stream of its own.
std::string boundedSession(std::string session) {
    if (session.size() <= LiveSignal::maxTextBytes) {
        return session;
    }
    std::uint64_t digest = 14695981039346656037ull;
    for (unsigned char byte : session) {
        digest = (digest ^ byte) * 1099511628211ull;
    }
    std::size_t head = 200;
    while (head > 0 && (static_cast<unsigned char>(session[head]) & 0xC0) == 0x80) {
        --head;
    }
    char tail[24];
    std::snprintf(tail, sizeof tail, "#%016llx", static_cast<unsigned long long>(digest));
    return session.substr(0, head) + tail;
}

}  // namespace

std::string_view idOf(Agent agent) {
    switch (agent) {
        case Agent::claudeCode:
            return "claude-code";
        case Agent::codex:
            return "codex";
        case Agent::geminiCli:
            return "gemini-cli";
        case Agent::cursor:
            return "cursor";
        case Agent::copilotCli:
            return "copilot-cli";
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

bool repliesWithJson(Agent agent) {
    return agent == Agent::geminiCli || agent == Agent::cursor;
}

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
    if (codePoints < 200) {
        return "s";
    }
    if (codePoints < 2000) {
        return "m";
    }
    if (codePoints < 10000) {
        return "l";
    }
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
    auto meaning = meaningOf(call.agent, event, call.payload, call.now);
    auto session = namedSession(call);
    // The saver keys a stream by the pid where one is sent. The agent's process stands for the
    // session only where the payload names none (Copilot CLI before 1.0.15): one process may
    // hold many sessions (Codex's app-server daemon, Cursor's windows), and a SessionEnd that
    // runs after the agent exited finds another process among its ancestors.
    std::optional<std::int64_t> pid;
    if (!session && call.agent == Agent::copilotCli && call.agentPid) {
        session = "pid:" + std::to_string(*call.agentPid);
        pid = call.agentPid;
    }
    if (!meaning || !session || session->empty()) {
        return std::nullopt;
    }
    nlohmann::json line{{"event", meaning->event}, {"session", boundedSession(*session)}};
    if (meaning->event != "ping") {
        line["tool"] = idOf(call.agent);
        if (pid) {
            line["pid"] = *pid;
        }
        if (meaning->sizeBucket) {
            line["sizeBucket"] = *meaning->sizeBucket;
        }
        if (meaning->backgroundTasks) {
            line["backgroundTasks"] = *meaning->backgroundTasks;
        }
        if (meaning->errorKind) {
            line["errorKind"] = *meaning->errorKind;
        }
        if (meaning->resumesAt) {
            line["resumesAt"] = *meaning->resumesAt;
        }
    }
    return line;
}

}  // namespace floodmark::AgentHook
