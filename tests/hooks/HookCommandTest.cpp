#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace floodmark {
namespace {

using fixtures::runFloodmark;
using fixtures::TempDirectory;

std::string fixture(const std::string& name) {
    return std::string(FLOODMARK_HOOK_PAYLOADS) + "/" + name;
}

// A listener on the home's socket, as a saver has; `backlog` 0 with a full queue is a saver
// that is stopped and never accepts.
class Listener {
public:
    explicit Listener(const std::string& home, int backlog = 8) {
        mkdir((home + "/.tolvera").c_str(), 0700);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = home + "/.tolvera/live.sock";
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        descriptor_ = socket(AF_UNIX, SOCK_STREAM, 0);
        bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(descriptor_, backlog);
        if (backlog == 0) {
            for (int filled = 0; filled < 64; ++filled) {
                int client = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
                if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                    close(client);
                    break;
                }
                fillers_.push_back(client);
            }
        }
    }
    ~Listener() {
        for (int client : fillers_) close(client);
        close(descriptor_);
    }

    // The first line a client sent, waiting up to two seconds for one.
    std::string firstLine() {
        pollfd ready{descriptor_, POLLIN, 0};
        if (poll(&ready, 1, 2000) != 1) return "";
        int client = accept(descriptor_, nullptr, nullptr);
        std::string line;
        char byte;
        while (read(client, &byte, 1) == 1 && byte != '\n') line += byte;
        close(client);
        return line;
    }

private:
    int descriptor_ = -1;
    std::vector<int> fillers_;
};

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
    Listener saver(home.path());
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
    Listener stuck(home.path(), 0);
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
