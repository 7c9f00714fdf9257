#include "FloodmarkSaver/hooks/ToolResults.h"

#include "FloodmarkSaver/common/JsonValue.h"

#include <cctype>
#include <string>
#include <string_view>

namespace floodmark::ToolResults {

bool copilotRateLimit(const nlohmann::json& payload) {
    const nlohmann::json* error = member(payload, "error");
    auto text = error && error->is_object() ? textOf(member(*error, "message")) : textOf(error);
    std::string message(text.value_or(""));
    for (char& c : message) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::string_view sign : {"rate limit", "rate_limit", "429", "too many requests"}) {
        if (message.find(sign) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace floodmark::ToolResults
