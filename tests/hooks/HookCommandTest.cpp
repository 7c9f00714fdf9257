#include "FloodmarkSaver/hooks/HookConfig.h"
#include "FloodmarkSaver/live/HeldSignals.h"
#include "platform/kit/Time.h"
#include "support/LocalListener.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace floodmark {
namespace {

using fixtures::runFloodmark;
using fixtures::TempDirectory;

std::string fixture(const std::string& name) {
    return std::string(FLOODMARK_HOOK_PAYLOADS) + "/" + name;
}

std::string socketOf(const TempDirectory& home) {
    return home.file(".tolvera/live.sock");
}

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct HookExit {
    int status;      // exit status, or minus the signal that killed it
    double seconds;  // how long it ran
};

// Runs `floodmark hook --from AGENT` on the given standard input and output, as an agent does.
HookExit runHookOn(const TempDirectory& home, const char* agent, int input, int output) {
    auto started = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        setenv("HOME", home.path().c_str(), 1);
        execl(FLOODMARK_BINARY, FLOODMARK_BINARY, "hook", "--from", agent, nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), seconds};
}

// What the agent sees: exit 0, and on standard output nothing, or `{}` for the agents that
// read JSON back, whatever the payload.
TEST(HookCommand, NeverGetsInTheAgentsWay) {
    TempDirectory home;
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"hook --from claude-code < " + fixture("malformed.json"), {}},
        {"hook --from claude-code < " + fixture("claude-code-pre-tool-use.json"), {}},
        {"hook --from gemini-cli < " + fixture("gemini-cli-after-tool-ok.json"), {"{}"}},
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
    auto held = HeldSignals::read(home.file(".tolvera/l.replay.json"), currentTime());
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].signal.session, "c0ffee-1");
    EXPECT_EQ(held[1].signal.session, "gem-77");
}

// A payload that names its session keys the stream by it; one that names none (Copilot CLI
// before 1.0.15) is spoken for by the agent process that ran the hook through a shell: here,
// this test.
TEST(HookCommand, DeliversToTheSaverForTheSessionOrElseTheAgentProcess) {
    TempDirectory home;
    fixtures::LocalListener saver(socketOf(home));
    auto run = runFloodmark("hook --from claude-code < " + fixture("claude-code-prompt-m.json"),
                            home.path());
    EXPECT_EQ(run.status, 0);
    auto line = nlohmann::json::parse(saver.firstLine(), nullptr, false);
    EXPECT_EQ(line, nlohmann::json({{"event", "prompt_submitted"},
                                    {"tool", "claude-code"},
                                    {"session", "c0ffee-1"},
                                    {"sizeBucket", "m"}}));
    run = runFloodmark("hook --from copilot-cli --event postToolUse < " +
                           fixture("copilot-cli-post-tool-failure-old.json"),
                       home.path());
    line = nlohmann::json::parse(saver.firstLine(), nullptr, false);
    EXPECT_EQ(line.value("pid", 0), getpid());
    EXPECT_EQ(line.value("session", ""), "pid:" + std::to_string(getpid()));
    // Codex's legacy notify passes the payload as an argument.
    run = runFloodmark("hook --from codex \"$(cat " + fixture("codex-notify.json") + ")\"",
                       home.path());
    EXPECT_EQ(nlohmann::json::parse(saver.firstLine(), nullptr, false).value("session", ""),
              "019a-thread");
}

struct HookRun {
    Agent agent;
    const char* event;
    int timeout;  // in the agent's unit
    bool async;
};

// Each hook as its agent is told to run it: Claude Code's ends of a turn or session run
// synchronously (`claude -p` kills asynchronous hooks at its exit), and every time-out is one
// the agent takes without a warning (Codex clamps SessionEnd and Interrupt to 3 s).
TEST(HookCommand, EachAgentRunsItsHooksAsItAllows) {
    const HookRun runs[] = {
        {Agent::claudeCode, "UserPromptSubmit", 5, true},
        {Agent::claudeCode, "PostToolUse", 5, true},
        {Agent::claudeCode, "Notification", 5, true},
        {Agent::claudeCode, "Stop", 5, false},
        {Agent::claudeCode, "StopFailure", 5, false},
        {Agent::claudeCode, "Interrupt", 5, false},
        {Agent::claudeCode, "SessionEnd", 5, false},
        {Agent::codex, "PostToolUse", 5, false},
        {Agent::codex, "Stop", 5, false},
        {Agent::codex, "Interrupt", 3, false},
        {Agent::codex, "SessionEnd", 3, false},
        {Agent::geminiCli, "SessionEnd", 5000, false},
        {Agent::copilotCli, "sessionEnd", 5, false},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string(AgentHook::idOf(run.agent)) + " " + run.event);
        const auto settings = HookConfig::settings(run.agent);
        ASSERT_TRUE(settings["hooks"].contains(run.event));
        const auto& item = settings["hooks"][run.event][0];
        const auto& hook = item.contains("hooks") ? item["hooks"][0] : item;
        EXPECT_EQ(hook.value("timeout", hook.value("timeoutSec", 0)), run.timeout);
        EXPECT_EQ(hook.value("async", false), run.async);
    }
}

// A saver that never accepts does not hold the agent up: the signal is held for later.
TEST(HookCommand, AStuckSocketDoesNotHoldTheHook) {
    TempDirectory home;
    fixtures::LocalListener stuck(socketOf(home), true);
    auto started = std::chrono::steady_clock::now();
    auto run =
        runFloodmark("hook --from codex < " + fixture("codex-pre-tool-use.json"), home.path());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(seconds, 2.0);  // the time-out is 0.2 s; a blocking connect would never return
    EXPECT_EQ(HeldSignals::read(home.file(".tolvera/l.replay.json"), currentTime()).size(), 1u);
}

// An agent that closed its end of the hook's output before the hook answered: the hook is not
// killed by SIGPIPE, and its signal still goes.
TEST(HookCommand, AClosedOutputCostsNeitherTheSignalNorTheExitStatus) {
    TempDirectory home;
    fixtures::LocalListener saver(socketOf(home));
    for (const char* agent : {"cursor", "gemini-cli"}) {
        SCOPED_TRACE(agent);
        std::string fixtureName = std::string(agent) == "cursor" ? "cursor-pre-tool-use.json"
                                                                 : "gemini-cli-after-tool-ok.json";
        int input = open(fixture(fixtureName).c_str(), O_RDONLY | O_CLOEXEC);
        int output[2];
        ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
        close(output[0]);
        auto run = runHookOn(home, agent, input, output[1]);
        close(output[1]);
        close(input);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(nlohmann::json::parse(saver.firstLine(), nullptr, false).value("event", ""),
                  "tool_call");
    }
}

// An agent that writes its payload and leaves the pipe open: one whole JSON value is enough.
TEST(HookCommand, AWholePayloadIsReadWithoutWaitingForTheEndOfInput) {
    TempDirectory home;
    fixtures::LocalListener saver(socketOf(home));
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    std::string payload = contentOf(fixture("claude-code-pre-tool-use.json"));
    ASSERT_EQ(write(input[1], payload.data(), payload.size()),
              static_cast<ssize_t>(payload.size()));
    int output = open("/dev/null", O_WRONLY | O_CLOEXEC);
    auto run = runHookOn(home, "claude-code", input[0], output);
    close(input[0]);
    close(input[1]);
    close(output);
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(run.seconds, 0.9);  // the wait for an end of input gives up after 1 s
    EXPECT_EQ(nlohmann::json::parse(saver.firstLine(), nullptr, false).value("session", ""),
              "c0ffee-1");
}

// A socket owner that takes connections but never reads them: the line is held as well, for
// the next saver, rather than lost.
TEST(HookCommand, ALineTheOwnerNeverReadsIsHeld) {
    TempDirectory home;
    fixtures::LocalListener neverReads(socketOf(home));
    auto run =
        runFloodmark("hook --from codex < " + fixture("codex-pre-tool-use.json"), home.path());
    EXPECT_EQ(run.status, 0);
    auto held = HeldSignals::read(home.file(".tolvera/l.replay.json"), currentTime());
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].signal.session, "019a-codex");
}

}  // namespace
}  // namespace floodmark
