#include "FloodmarkSaver/hooks/AgentHook.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace floodmark {
namespace {

nlohmann::json captured(const std::string& name) {
    std::ifstream file(std::string(FLOODMARK_HOOK_PAYLOADS) + "/real/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return nlohmann::json::parse(text.str(), nullptr, false);
}

struct Row {
    Agent agent;
    std::string fixture;   // in tests/hooks/payloads/real, whose SOURCES.md tells how
    std::string event;     // given on the command line (Copilot CLI); empty: the payload's
    std::string expected;  // the line sent, or empty for none
};

constexpr const char* s1 = "00000000-0000-4000-8000-000000000001";

std::string line(const char* event, const char* tool, const char* session, const char* extra = "") {
    return std::string(R"({"event":")") + event + R"(","tool":")" + tool + R"(","session":")" +
           session + R"(")" + extra + "}";
}

void expectLine(const Row& row, double now) {
    auto payload = captured(row.fixture);
    ASSERT_TRUE(payload.is_object()) << "missing or unreadable fixture";
    auto sent = AgentHook::lineFor({row.agent, payload, row.event, 4242, now});
    if (row.expected.empty()) {
        EXPECT_FALSE(sent) << sent->dump();
    } else {
        ASSERT_TRUE(sent) << "no line";
        EXPECT_EQ(*sent, nlohmann::json::parse(row.expected));
    }
}

// What each real program's payload must make the hook send (pid 4242, 2026-12-09 20:00 UTC). A
// payload that names its session is keyed by it, not by the agent's process, which Codex's TUI
// shares between sessions. A tool counts once, at its Post event, which also ends a wait for the
// user's answer; a session's end settles it without wiping a halt shown before it.
TEST(RealPayloads, MapToTheSignalsTheirTurnsMean) {
    const double now = 1796846400;
    const Agent claude = Agent::claudeCode, codex = Agent::codex, gemini = Agent::geminiCli,
                copilot = Agent::copilotCli;
    const std::string ping = std::string(R"({"event":"ping","session":")") + s1 + R"("})";
    const std::string claudeV = "claude-code-2.1.337-", codexV = "codex-0.171.0-",
                      geminiV = "gemini-cli-0.61.0-", copilotV = "copilot-cli-1.0.102-";
    const Row rows[] = {
        {claude, claudeV + "session-start.json", "", ping},
        {claude, claudeV + "session-start-tui.json", "", ping},
        {claude, claudeV + "user-prompt-submit.json", "",
         line("prompt_submitted", "claude-code", s1, R"(,"sizeBucket":"s")")},
        {claude, claudeV + "pre-tool-use.json", "", line("tool_call", "claude-code", s1)},
        {claude, claudeV + "post-tool-use.json", "", line("tool_call", "claude-code", s1)},
        {claude, claudeV + "post-tool-use-failure.json", "",
         line("tool_failure", "claude-code", s1)},
        // After "Yes" at the permission prompt: the approved command's own failure.
        {claude, claudeV + "post-tool-use-failure-approved.json", "",
         line("tool_failure", "claude-code", s1)},
        {claude, claudeV + "permission-request-tui.json", "", line("awaiting", "claude-code", s1)},
        {claude, claudeV + "notification-tui.json", "", line("awaiting", "claude-code", s1)},
        // "No" at the prompt: Interrupt with reason permission_denied ends the turn.
        {claude, claudeV + "interrupt-tui.json", "",
         line("stop", "claude-code", "00000000-0000-4000-8000-000000000004")},
        {claude, claudeV + "stop.json", "",
         line("stop", "claude-code", s1, R"(,"backgroundTasks":0)")},
        {claude, claudeV + "session-end.json", "",
         line("halted", "claude-code", s1)},  // reason other
        // An API key's 429 has no "resets …" text: no resumesAt.
        {claude, claudeV + "stop-failure-rate-limit.json", "",
         line("halted", "claude-code", s1, R"(,"errorKind":"rate_limit")")},

        {codex, codexV + "session-start.json", "", ping},
        {codex, codexV + "user-prompt-submit.json", "",
         line("prompt_submitted", "codex", s1, R"(,"sizeBucket":"s")")},
        {codex, codexV + "pre-tool-use.json", "",
         line("tool_call", "codex", s1)},                      // Bash, a string
        {codex, codexV + "post-tool-use.json", "", line("tool_call", "codex", s1)},
        // Codex's PostToolUse gives the output only, no exit status: not a failure it can tell.
        {codex, codexV + "post-tool-use-exit-2.json", "", line("tool_call", "codex", s1)},
        {codex, codexV + "pre-compact-tui.json", "",
         line("compaction", "codex", "00000000-0000-4000-8000-000000000003")},
        {codex, codexV + "post-compact-tui.json", "", ""},  // counted by its PreCompact
        {codex, codexV + "stop.json", "", line("stop", "codex", s1)},
        {codex, codexV + "session-end.json", "", line("halted", "codex", s1)},
        {codex, codexV + "session-end-tui.json", "", line("halted", "codex", s1)},

        {gemini, geminiV + "session-start.json", "", ping},
        {gemini, geminiV + "before-agent.json", "",
         line("prompt_submitted", "gemini-cli", s1, R"(,"sizeBucket":"s")")},
        // Fired before every model request, compacting or not.
        {gemini, geminiV + "pre-compress.json", "", ""},
        {gemini, geminiV + "pre-compress-manual.json", "", line("compaction", "gemini-cli", s1)},
        {gemini, geminiV + "before-tool.json", "", ""},
        {gemini, geminiV + "notification-tui.json", "", line("awaiting", "gemini-cli", s1)},
        {gemini, geminiV + "after-tool.json", "", line("tool_call", "gemini-cli", s1)},
        // Allowed once, then exit status 2, told only as "Exit Code: 2" in llmContent;
        // returnDisplay is an array of terminal cells here.
        {gemini, geminiV + "after-tool-approved.json", "", line("tool_failure", "gemini-cli", s1)},
        {gemini, geminiV + "after-agent.json", "", line("stop", "gemini-cli", s1)},
        {gemini, geminiV + "session-end.json", "", line("halted", "gemini-cli", s1)},

        {copilot, copilotV + "session-start.json", "sessionStart", ping},
        {copilot, copilotV + "user-prompt-submitted.json", "userPromptSubmitted",
         line("prompt_submitted", "copilot-cli", s1, R"(,"sizeBucket":"s")")},
        // toolArgs is an object here.
        {copilot, copilotV + "pre-tool-use.json", "preToolUse", ""},
        {copilot, copilotV + "post-tool-use.json", "postToolUse",
         line("tool_call", "copilot-cli", s1)},
        {copilot, copilotV + "notification-tui.json", "notification",
         line("awaiting", "copilot-cli", s1)},
        // The approved command's postToolUse.
        {copilot, copilotV + "post-tool-use-approved.json", "postToolUse",
         line("tool_call", "copilot-cli", s1)},
        // resultType "success" and "completed with exit code 2" in its text.
        {copilot, copilotV + "post-tool-use-exit-2.json", "postToolUse",
         line("tool_failure", "copilot-cli", s1)},
        {copilot, copilotV + "agent-stop.json", "agentStop", line("stop", "copilot-cli", s1)},
        {copilot, copilotV + "session-end.json", "sessionEnd", line("halted", "copilot-cli", s1)},
        // recoverable: true, error an object {message, name, stack}.
        {copilot, copilotV + "error-occurred-rate-limit.json", "errorOccurred",
         line("halted", "copilot-cli", s1, R"(,"errorKind":"rate_limit")")},
        {copilot, copilotV + "session-end-rate-limit.json", "sessionEnd",
         line("halted", "copilot-cli", s1, R"(,"errorKind":"error")")},  // reason "error"
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        expectLine(row, now);
    }
}

}  // namespace
}  // namespace floodmark
