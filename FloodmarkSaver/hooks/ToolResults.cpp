#include "FloodmarkSaver/hooks/ToolResults.h"

#include "FloodmarkSaver/common/JsonValue.h"

#include <array>
#include <cctype>
#include <string>
#include <string_view>

namespace floodmark::ToolResults {

namespace {

// Whether `line` is `prefix`, a decimal exit status other than 0, then `suffix`.
bool namesFailedExit(std::string_view line, std::string_view prefix, std::string_view suffix) {
    if (!line.starts_with(prefix) || !line.ends_with(suffix) ||
        line.size() <= prefix.size() + suffix.size()) {
        return false;
    }
    auto status = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    if (status.front() == '-') {
        status.remove_prefix(1);
    }
    return !status.empty() && status.find_first_not_of("0123456789") == std::string_view::npos &&
           status.find_first_not_of('0') != std::string_view::npos;
}

std::string_view withoutTrailingBlanks(std::string_view text) {
    auto end = text.find_last_not_of(" \t\r\n");
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// Gemini's shell result ends "Exit Code: N" on a failure; only its signal, background and
// process-group lines and the closing of its untrusted-output wrapper may follow.
bool geminiShellFailed(std::string_view content) {
    constexpr std::array<std::string_view, 3> trailers{"Signal: ", "Background PIDs: ",
                                                       "Process Group PGID: "};
    content = withoutTrailingBlanks(content);
    while (!content.empty()) {
        auto start = content.rfind('\n');
        auto line = start == std::string_view::npos ? content : content.substr(start + 1);
        content = start == std::string_view::npos ? std::string_view() : content.substr(0, start);
        bool trailer = line.empty() || line == "</untrusted_context>";
        for (auto prefix : trailers) {
            trailer = trailer || line.starts_with(prefix);
        }
        if (!trailer) {
            return namesFailedExit(line, "Exit Code: ", "");
        }
    }
    return false;
}

// Something there and not null, false or empty: an error report.
bool isPresent(const nlohmann::json* value) {
    return value != nullptr && !value->is_null() && !(value->is_boolean() && !*value) &&
           !(value->is_string() && value->get_ref<const std::string&>().empty());
}

}  // namespace

bool geminiToolFailed(const nlohmann::json& response) {
    if (isPresent(member(response, "error"))) {
        return true;
    }
    auto content = textOf(member(response, "llmContent"));
    return content && geminiShellFailed(*content);
}

bool copilotToolFailed(const nlohmann::json& result) {
    if (textOf(member(result, "resultType")) == "failure") {
        return true;
    }
    auto text = textOf(member(result, "textResultForLlm"));
    if (!text) {
        return false;
    }
    auto output = withoutTrailingBlanks(*text);
    auto start = output.rfind('\n');
    auto last = start == std::string_view::npos ? output : output.substr(start + 1);
    // Copilot CLI 1.0 ends a shell's output "<shellId: 1 completed with exit code 2>"; earlier
    // builds "<exited with exit code 2>".
    constexpr std::string_view shellPrefix = "<shellId: ";
    constexpr std::string_view completed = " completed with exit code ";
    auto after = last.find(completed);
    if (last.starts_with(shellPrefix) && after != std::string_view::npos) {
        return namesFailedExit(last.substr(after), completed, ">");
    }
    return namesFailedExit(last, "<exited with exit code ", ">");
}

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
