#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// The coding agents whose hook payloads `floodmark hook` understands.
enum class Agent { claudeCode, codex, geminiCli, cursor, copilotCli };

// What an agent's hook payload means for the water: the signal and ping lines to send. Pure:
// the payload is only read, and no prompt text ever leaves it, only its size bucket.
namespace AgentHook {

inline constexpr std::array<Agent, 5> agents{Agent::claudeCode, Agent::codex, Agent::geminiCli,
                                             Agent::cursor, Agent::copilotCli};

// The agent's fixed id, which is also the `tool` of its signals: "claude-code", "codex", …
std::string_view idOf(Agent agent);
std::optional<Agent> agentNamed(std::string_view id);

// Whether the agent reads its hooks' standard output as JSON (it then gets an empty object).
bool repliesWithJson(Agent agent);

// The size class of a prompt, by code points after trimming white space: "s" under 200, "m"
// under 2,000, "l" under 10,000, "xl" otherwise.
std::string sizeBucket(std::string_view prompt);

struct Call {
    Agent agent;
    nlohmann::json payload;
    // The hook event, where the agent does not name it in the payload (Copilot CLI's hooks
    // are told it on their command line); empty to read it from the payload.
    std::string event;
    // The agent's process: it stands for the session where the payload names none.
    std::optional<std::int64_t> agentPid;
    // When the hook runs, seconds since 1970: a reset time given without a day follows it.
    double now = 0;
};

// The line (a JSON object as on the socket) that one hook call means; none for an event that
// changes nothing or a payload that is not the agent's. A tool call is told once, by the event
// after it has run, which also ends any wait for the user's approval.
std::optional<nlohmann::json> lineFor(const Call& call);

}  // namespace AgentHook

}  // namespace floodmark
