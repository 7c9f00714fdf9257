#pragma once

#include <nlohmann/json.hpp>

namespace floodmark::ToolResults {

// Whether Gemini CLI's AfterTool `tool_response` tells of a failed tool: an `error`, or a shell
// command that exited with a status other than 0 (Gemini reports that in `llmContent` only).
bool geminiToolFailed(const nlohmann::json& response);

// Whether Copilot CLI's postToolUse `toolResult` tells of a failed tool: `resultType`
// "failure", or a shell command whose output ends "<exited with exit code N>", N not 0.
bool copilotToolFailed(const nlohmann::json& result);

// Whether Copilot CLI's errorOccurred payload tells of a rate limit. Its `error` is the message,
// or an object {message, name, stack} as the real program sends it.
bool copilotRateLimit(const nlohmann::json& payload);

}  // namespace floodmark::ToolResults
