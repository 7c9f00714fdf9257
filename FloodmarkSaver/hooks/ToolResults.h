#pragma once

#include <nlohmann/json.hpp>

namespace floodmark::ToolResults {

// Whether Copilot CLI's errorOccurred payload tells of a rate limit. Its `error` is the message,
// or an object {message, name, stack} as the real program sends it.
bool copilotRateLimit(const nlohmann::json& payload);

}  // namespace floodmark::ToolResults
