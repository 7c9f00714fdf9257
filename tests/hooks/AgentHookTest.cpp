#include "FloodmarkSaver/hooks/AgentHook.h"
#include "FloodmarkSaver/hooks/HookConfig.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "FloodmarkSaver/live/LiveSignal.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

namespace floodmark {
namespace {

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int index = 0; index < count; ++index)
        text += unit;
    return text;
}

nlohmann::json payload(const std::string& name) {
    std::ifstream file(std::string(FLOODMARK_HOOK_PAYLOADS) + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return nlohmann::json::parse(text.str(), nullptr, false);
}

struct HookCase {
    Agent agent;
    const char* fixture;
    const char* event;     // given on the command line; empty when the payload names it
    const char* expected;  // the line sent, or empty for none
};

// Payloads in the shapes the agents' real programs send (tests/hooks/payloads/SOURCES.md names
// the version of each), and the one line each must send (agent pid 4242, which only a payload
// naming no session sends; at 2026-12-09 20:00 UTC).
TEST(AgentHook, MapsEachAgentsRealPayloads) {
    const double now = 1796846400;
    const HookCase cases[] = {
        {Agent::claudeCode, "claude-code-session-start.json", "",
         R"({"event":"ping","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-prompt-m.json", "",
         R"({"event":"prompt_submitted","tool":"claude-code","session":"c0ffee-1","sizeBucket":"m"})"},
        {Agent::claudeCode, "claude-code-task-notification.json", "",
         R"({"event":"tool_call","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-post-tool-use.json", "",
         R"({"event":"tool_call","tool":"claude-code","session":"c0ffee-1"})"},
        // Settings written before PostToolUse was installed tell the call by PreToolUse.
        {Agent::claudeCode, "claude-code-pre-tool-use.json", "",
         R"({"event":"tool_call","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-tool-failure.json", "",
         R"({"event":"tool_failure","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-tool-interrupted.json", "", ""},
        {Agent::claudeCode, "claude-code-pre-compact.json", "",
         R"({"event":"compaction","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-notification-permission.json", "",
         R"({"event":"awaiting","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-notification-elicitation.json", "",
         R"({"event":"awaiting","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-notification-idle.json", "", ""},
        {Agent::claudeCode, "claude-code-notification-auth.json", "", ""},
        {Agent::claudeCode, "claude-code-permission-request.json", "",
         R"({"event":"awaiting","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-stop.json", "",
         R"({"event":"stop","tool":"claude-code","session":"c0ffee-1","backgroundTasks":0})"},
        {Agent::claudeCode, "claude-code-stop-background.json", "",
         R"({"event":"stop","tool":"claude-code","session":"c0ffee-1","backgroundTasks":2})"},
        {Agent::claudeCode, "claude-code-interrupt.json", "",
         R"({"event":"stop","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::claudeCode, "claude-code-subagent-stop.json", "", ""},
        {Agent::claudeCode, "claude-code-stop-failure-rate-limit.json", "",
         R"({"event":"halted","tool":"claude-code","session":"c0ffee-1","errorKind":"rate_limit","resumesAt":1796857200.0})"},
        {Agent::claudeCode, "claude-code-stop-failure-rate-limit-day.json", "",
         R"({"event":"halted","tool":"claude-code","session":"c0ffee-1","errorKind":"rate_limit","resumesAt":1797085800.0})"},
        {Agent::claudeCode, "claude-code-stop-failure-rate-limit-api-key.json", "",
         R"({"event":"halted","tool":"claude-code","session":"c0ffee-1","errorKind":"rate_limit"})"},
        {Agent::claudeCode, "claude-code-stop-failure-server.json", "",
         R"({"event":"halted","tool":"claude-code","session":"c0ffee-1","errorKind":"error"})"},
        {Agent::claudeCode, "claude-code-session-end.json", "",
         R"({"event":"halted","tool":"claude-code","session":"c0ffee-1"})"},
        {Agent::codex, "codex-session-start.json", "",
         R"({"event":"ping","session":"019a-codex"})"},
        {Agent::codex, "codex-prompt-l.json", "",
         R"({"event":"prompt_submitted","tool":"codex","session":"019a-codex","sizeBucket":"l"})"},
        {Agent::codex, "codex-post-tool-use.json", "",
         R"({"event":"tool_call","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-pre-tool-use.json", "",
         R"({"event":"tool_call","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-permission-request.json", "",
         R"({"event":"awaiting","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-pre-compact.json", "",
         R"({"event":"compaction","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-stop.json", "",
         R"({"event":"stop","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-interrupt.json", "",
         R"({"event":"stop","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-session-end.json", "",
         R"({"event":"halted","tool":"codex","session":"019a-codex"})"},
        {Agent::codex, "codex-notify.json", "",
         R"({"event":"stop","tool":"codex","session":"019a-thread"})"},
        {Agent::geminiCli, "gemini-cli-session-start.json", "",
         R"({"event":"ping","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-before-agent-xl.json", "",
         R"({"event":"prompt_submitted","tool":"gemini-cli","session":"gem-77","sizeBucket":"xl"})"},
        {Agent::geminiCli, "gemini-cli-before-tool.json", "", ""},  // AfterTool tells it
        {Agent::geminiCli, "gemini-cli-after-tool-ok.json", "",
         R"({"event":"tool_call","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-after-tool-error.json", "",
         R"({"event":"tool_failure","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-after-tool-exit-2.json", "",
         R"({"event":"tool_failure","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-pre-compress.json", "", ""},  // before every request
        {Agent::geminiCli, "gemini-cli-pre-compress-manual.json", "",
         R"({"event":"compaction","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-notification.json", "",
         R"({"event":"awaiting","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-after-agent.json", "",
         R"({"event":"stop","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::geminiCli, "gemini-cli-session-end.json", "",
         R"({"event":"halted","tool":"gemini-cli","session":"gem-77"})"},
        {Agent::cursor, "cursor-session-start.json", "", R"({"event":"ping","session":"cur-5"})"},
        {Agent::cursor, "cursor-before-submit-prompt-s.json", "",
         R"({"event":"prompt_submitted","tool":"cursor","session":"cur-5","sizeBucket":"s"})"},
        {Agent::cursor, "cursor-pre-tool-use.json", "",
         R"({"event":"tool_call","tool":"cursor","session":"cur-5"})"},
        {Agent::cursor, "cursor-after-file-edit.json", "",
         R"({"event":"tool_call","tool":"cursor","session":"cur-5"})"},
        {Agent::cursor, "cursor-post-tool-use-failure.json", "",
         R"({"event":"tool_failure","tool":"cursor","session":"cur-5"})"},
        {Agent::cursor, "cursor-post-tool-use-interrupted.json", "", ""},
        {Agent::cursor, "cursor-pre-compact.json", "",
         R"({"event":"compaction","tool":"cursor","session":"cur-5"})"},
        {Agent::cursor, "cursor-stop-completed.json", "",
         R"({"event":"stop","tool":"cursor","session":"cur-5"})"},
        {Agent::cursor, "cursor-stop-error.json", "",
         R"({"event":"halted","tool":"cursor","session":"cur-5","errorKind":"error"})"},
        {Agent::copilotCli, "copilot-cli-session-start.json", "sessionStart",
         R"({"event":"ping","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-user-prompt.json", "userPromptSubmitted",
         R"({"event":"prompt_submitted","tool":"copilot-cli","session":"7f3a-copilot","sizeBucket":"s"})"},
        {Agent::copilotCli, "copilot-cli-pre-tool-use.json", "preToolUse", ""},
        {Agent::copilotCli, "copilot-cli-post-tool-success.json", "postToolUse",
         R"({"event":"tool_call","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-post-tool-exit-2.json", "postToolUse",
         R"({"event":"tool_failure","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-post-tool-use-failure.json", "postToolUseFailure",
         R"({"event":"tool_failure","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-post-tool-failure-old.json", "postToolUse",
         R"({"event":"tool_failure","tool":"copilot-cli","session":"pid:4242","pid":4242})"},
        {Agent::copilotCli, "copilot-cli-notification-permission.json", "notification",
         R"({"event":"awaiting","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-notification-idle.json", "notification", ""},
        {Agent::copilotCli, "copilot-cli-agent-stop.json", "agentStop",
         R"({"event":"stop","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-session-end.json", "sessionEnd",
         R"({"event":"halted","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-session-end-error.json", "sessionEnd",
         R"({"event":"halted","tool":"copilot-cli","session":"7f3a-copilot","errorKind":"error"})"},
        {Agent::copilotCli, "copilot-cli-error-tool-recoverable.json", "errorOccurred",
         R"({"event":"tool_failure","tool":"copilot-cli","session":"7f3a-copilot"})"},
        {Agent::copilotCli, "copilot-cli-error-rate-limit.json", "errorOccurred",
         R"({"event":"halted","tool":"copilot-cli","session":"7f3a-copilot","errorKind":"rate_limit"})"},
        {Agent::copilotCli, "copilot-cli-error-rate-limit-old.json", "errorOccurred",
         R"({"event":"halted","tool":"copilot-cli","session":"7f3a-copilot","errorKind":"rate_limit"})"},
        {Agent::copilotCli, "copilot-cli-error.json", "errorOccurred",
         R"({"event":"halted","tool":"copilot-cli","session":"7f3a-copilot","errorKind":"error"})"},
        // The event must come from somewhere: Copilot CLI's payloads never name it.
        {Agent::copilotCli, "copilot-cli-user-prompt.json", "", ""},
        // Another agent's payload, or a broken one, sends nothing.
        {Agent::cursor, "claude-code-pre-tool-use.json", "", ""},
        {Agent::claudeCode, "malformed.json", "", ""},
    };
    for (const auto& hookCase : cases) {
        SCOPED_TRACE(hookCase.fixture);
        auto line = AgentHook::lineFor(
            {hookCase.agent, payload(hookCase.fixture), hookCase.event, 4242, now});
        if (*hookCase.expected == '\0') {
            EXPECT_FALSE(line.has_value()) << line->dump();
        } else {
            ASSERT_TRUE(line.has_value());
            EXPECT_EQ(*line, nlohmann::json::parse(hookCase.expected));
        }
    }
}

struct TurnStep {
    const char* fixture;
    const char* event;  // given on the command line; empty when the payload names it
    int awaiting;       // how many the saver then counts as waiting on the user
};

struct ApprovedTurn {
    Agent agent;
    std::vector<TurnStep> steps;
};

// A turn whose tool waits for the user's approval, through the hooks each agent is installed
// with and on to the saver: the wait ends with the first event after the answer, and the tool
// call counts once.
TEST(AgentHook, AnAnsweredApprovalEndsTheWaitAndTheToolCountsOnce) {
    const ApprovedTurn turns[] = {
        {Agent::claudeCode,
         {{"claude-code-prompt-m.json", "", 0},
          {"claude-code-pre-tool-use.json", "", 0},
          {"claude-code-permission-request.json", "", 1},
          {"claude-code-notification-permission.json", "", 1},
          {"claude-code-post-tool-use.json", "", 0}}},
        {Agent::codex,
         {{"codex-prompt-l.json", "", 0},
          {"codex-pre-tool-use.json", "", 0},
          {"codex-permission-request.json", "", 1},
          {"codex-post-tool-use.json", "", 0}}},
        {Agent::geminiCli,
         {{"gemini-cli-before-agent-xl.json", "", 0},
          {"gemini-cli-before-tool.json", "", 0},
          {"gemini-cli-notification.json", "", 1},
          {"gemini-cli-after-tool-ok.json", "", 0}}},
        {Agent::copilotCli,
         {{"copilot-cli-user-prompt.json", "userPromptSubmitted", 0},
          {"copilot-cli-pre-tool-use.json", "preToolUse", 0},
          {"copilot-cli-notification-permission.json", "notification", 1},
          {"copilot-cli-post-tool-success.json", "postToolUse", 0}}},
    };
    for (const auto& turn : turns) {
        SCOPED_TRACE(std::string(AgentHook::idOf(turn.agent)));
        const auto installed = HookConfig::settings(turn.agent)["hooks"];
        LiveDemandAggregator saver;
        double now = 1796846400;
        int toolCalls = 0;
        for (const auto& step : turn.steps) {
            SCOPED_TRACE(step.fixture);
            auto body = payload(step.fixture);
            std::string event = *step.event ? step.event : body.value("hook_event_name", "");
            if (!installed.contains(event)) {
                continue;  // not run
            }
            auto line = AgentHook::lineFor({turn.agent, body, step.event, 4242, now});
            if (line) {
                auto signal = LiveSignal::tryParse(line->dump());
                ASSERT_TRUE(signal.has_value());
                toolCalls += signal->event == LiveEvent::toolCall;
                saver.ingest(*signal, now);
            }
            EXPECT_EQ(saver.tick(now, 0.25).awaiting, step.awaiting);
            now += 1;
        }
        EXPECT_EQ(toolCalls, 1);
    }
}

struct EndedRun {
    Agent agent;
    std::vector<std::pair<const char*, const char*>> hooks;  // fixture, event given
    std::optional<std::string> stopped;  // what the saver shows the run stopped on
};

// One-shot runs (`claude -p`, `copilot -p`) end every session with a session end: it leaves
// the rate limit or error the turn stopped on shown, and ends a session still working.
TEST(AgentHook, ASessionEndKeepsWhatTheSessionStoppedOn) {
    const EndedRun runs[] = {
        {Agent::claudeCode,
         {{"claude-code-prompt-m.json", ""},
          {"claude-code-stop-failure-rate-limit-api-key.json", ""},
          {"claude-code-session-end.json", ""}},
         "rate_limit"},
        {Agent::copilotCli,
         {{"copilot-cli-user-prompt.json", "userPromptSubmitted"},
          {"copilot-cli-error-rate-limit.json", "errorOccurred"},
          {"copilot-cli-session-end-error.json", "sessionEnd"}},
         "rate_limit"},
        {Agent::copilotCli,
         {{"copilot-cli-user-prompt.json", "userPromptSubmitted"},
          {"copilot-cli-session-end-error.json", "sessionEnd"}},
         "error"},
        {Agent::claudeCode,
         {{"claude-code-prompt-m.json", ""}, {"claude-code-session-end.json", ""}},
         std::nullopt},
    };
    for (const auto& run : runs) {
        LiveDemandAggregator saver;
        double now = 1796846400;
        for (const auto& [fixture, event] : run.hooks) {
            SCOPED_TRACE(fixture);
            auto line = AgentHook::lineFor({run.agent, payload(fixture), event, 4242, now});
            ASSERT_TRUE(line.has_value());
            saver.ingest(*LiveSignal::tryParse(line->dump()), now);
            now += 1;
        }
        auto reading = saver.tick(now, 0.25);
        EXPECT_EQ(reading.stopped, run.stopped);
        EXPECT_EQ(reading.impulse, ImpulseKind::sessionEnd);
    }
}

// The stream a signal lands on is the payload's session, whatever process ran the hook: two
// Codex sessions in one app-server daemon stay apart, and a SessionEnd that runs after Claude
// Code exited (its ancestor is now another process) ends the session its prompt began.
TEST(AgentHook, ASessionNamedByThePayloadKeysItsStream) {
    auto keyOf = [](Agent agent, const nlohmann::json& body, std::int64_t pid) {
        auto line = AgentHook::lineFor({agent, body, "", pid, 0});
        auto signal = line ? LiveSignal::tryParse(line->dump()) : std::nullopt;
        return signal ? signal->streamKey() : std::string("none");
    };
    auto other = payload("codex-prompt-l.json");
    other["session_id"] = "019b-codex";
    EXPECT_EQ(keyOf(Agent::codex, payload("codex-prompt-l.json"), 4242), "codex/019a-codex");
    EXPECT_EQ(keyOf(Agent::codex, other, 4242), "codex/019b-codex");
    EXPECT_EQ(keyOf(Agent::claudeCode, payload("claude-code-prompt-m.json"), 4242),
              "claude-code/c0ffee-1");
    EXPECT_EQ(keyOf(Agent::claudeCode, payload("claude-code-session-end.json"), 977),
              "claude-code/c0ffee-1");
    // A name longer than the saver takes keeps its head and a digest (FNV-1a) of the whole;
    // the head is cut between UTF-8 characters.
    const std::string euro = "\xE2\x82\xAC";
    const std::pair<std::string, std::string> longNames[] = {
        {repeated("s", 299) + "a", "claude-code/" + repeated("s", 200) + "#57133b16fc7885cb"},
        {repeated("s", 299) + "b", "claude-code/" + repeated("s", 200) + "#57133c16fc78877e"},
        {repeated(euro, 100), "claude-code/" + repeated(euro, 66) + "#ee6c505d87b196e5"},
        {repeated("s", 256), "claude-code/" + repeated("s", 256)},
    };
    for (const auto& [name, key] : longNames) {
        auto body = payload("claude-code-prompt-m.json");
        body["session_id"] = name;
        EXPECT_EQ(keyOf(Agent::claudeCode, body, 4242), key);
    }
}

// Code points after trimming, not bytes: 199 two-byte letters are still a short prompt.
TEST(AgentHook, SizeBucketsCountTrimmedCodePoints) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "s"},
        {repeated("é", 199), "s"},
        {" \n\t" + repeated("a", 199) + "  \r\n", "s"},
        {repeated("a", 200), "m"},
        {repeated("日", 1999), "m"},
        {repeated("a", 2000), "l"},
        {repeated("a", 9999), "l"},
        {repeated("🌊", 10000), "xl"},
    };
    for (const auto& [prompt, bucket] : cases) {
        EXPECT_EQ(AgentHook::sizeBucket(prompt), bucket) << prompt.size() << " bytes";
    }
}

}  // namespace
}  // namespace floodmark
