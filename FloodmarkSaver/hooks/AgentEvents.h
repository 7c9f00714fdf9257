#pragma once

#include "FloodmarkSaver/hooks/AgentHook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark::AgentHook {

// What one hook event of an agent means, before it is addressed to a session.
struct Meaning {
    std::string event;  // a signal's event, or "ping"
    std::optional<std::string> sizeBucket = std::nullopt;
    std::optional<std::int64_t> backgroundTasks = std::nullopt;
    std::optional<std::string> errorKind = std::nullopt;
    std::optional<double> resumesAt = std::nullopt;
};

// The text of the payload's member `key` where it is a string.
std::optional<std::string> textAt(const nlohmann::json& payload, std::string_view key);

// The meaning of the agent's hook `event` with its payload, at `now` (seconds since 1970); none
// for an event that changes nothing.
std::optional<Meaning> meaningOf(Agent agent, std::string_view event, const nlohmann::json& payload,
                                 double now);

}  // namespace floodmark::AgentHook
