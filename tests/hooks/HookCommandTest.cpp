#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/kit/Time.h"
#include "support/LocalListener.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <chrono>

namespace floodmark {
namespace {

using fixtures::runFloodmark;
using fixtures::TempDirectory;

std::string fixture(const std::string& name) {
    return std::string(FLOODMARK_HOOK_PAYLOADS) + "/" + name;
}

std::string socketOf(const TempDirectory& home) { return home.file(".tolvera/live.sock"); }

// What the agent sees: exit 0, and on standard output nothing, or `{}` for the agents that
// read JSON back, whatever the payload.
TEST(HookCommand, NeverGetsInTheAgentsWay) {
    TempDirectory home;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"hook --from claude-code < " + fixture("malformed.json"), {}},
        {"hook --from claude-code < " + fixture("claude-code-pre-tool-use.json"), {}},
        {"hook --from gemini-cli < " + fixture("gemini-cli-before-tool.json"), {"{}"}},
        {"hook --from cursor < /dev/null", {"{}"}},
        {"hook --from no-such-agent < /dev/null", {}},
    };
    for (const auto& [arguments, output] : cases) {
        SCOPED_TRACE(arguments);
        auto run = runFloodmark(arguments, home.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.lines, output);
    }
    // A mistyped hook line is told only on standard error, which agents do not read.
    auto mistyped = runFloodmark("hook --bogus < /dev/null 2>/dev/null", home.path());
    EXPECT_EQ(mistyped.status, 0);
    // Only the two well-formed tool calls were held, for the next saver.
    auto held = SaverReplay::read(home.file(".tolvera/l.replay.json"), currentTime());
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].signal.session, "c0ffee-1");
    EXPECT_EQ(held[1].signal.session, "gem-77");
}

// The hook speaks for the agent process that ran it through a shell: here, this test.
TEST(HookCommand, DeliversToTheSaverForTheAgentProcess) {
    TempDirectory home;
    fixtures::LocalListener saver(socketOf(home));
    auto run = runFloodmark("hook --from claude-code < " + fixture("claude-code-prompt-m.json"),
                            home.path());
    EXPECT_EQ(run.status, 0);
    auto line = nlohmann::json::parse(saver.firstLine(), nullptr, false);
    EXPECT_EQ(line, nlohmann::json({{"event", "prompt_submitted"},
                                    {"tool", "claude-code"},
                                    {"session", "c0ffee-1"},
                                    {"sizeBucket", "m"},
                                    {"pid", getpid()}}));
    // Codex's legacy notify passes the payload as an argument.
    run = runFloodmark("hook --from codex \"$(cat " + fixture("codex-notify.json") + ")\"",
                       home.path());
    EXPECT_EQ(nlohmann::json::parse(saver.firstLine(), nullptr, false).value("session", ""),
              "019a-thread");
}

// A saver that never accepts does not hold the agent up: the signal is held for later.
TEST(HookCommand, AStuckSocketDoesNotHoldTheHook) {
    TempDirectory home;
    fixtures::LocalListener stuck(socketOf(home), true);
    auto started = std::chrono::steady_clock::now();
    auto run = runFloodmark("hook --from codex < " + fixture("codex-pre-tool-use.json"),
                            home.path());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(seconds, 2.0);  // the time-out is 0.2 s; a blocking connect would never return
    EXPECT_EQ(SaverReplay::read(home.file(".tolvera/l.replay.json"), currentTime()).size(), 1u);
}

}  // namespace
}  // namespace floodmark
