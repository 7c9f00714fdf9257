#include "FloodmarkSaver/hooks/HookConfig.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <tuple>

namespace floodmark {
namespace {

using fixtures::runCommand;
using fixtures::TempDirectory;

const char* const agentIds[] = {"claude-code", "codex", "gemini-cli", "cursor", "copilot-cli"};

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string floodmark(const std::string& home, const std::string& arguments) {
    return "cd '" + home + "' && HOME='" + home + "' " + FLOODMARK_BINARY + " hook " + arguments;
}

// What --print-config writes on standard output is the file itself: it parses as JSON (TOML
// for codex-notify), with the path and notes on standard error only.
TEST(HookSettings, PrintedConfigIsTheFileAlone) {
    TempDirectory home;
    for (const char* agent : agentIds) {
        SCOPED_TRACE(agent);
        auto run = runCommand(floodmark(home.path(), std::string("--print-config ") + agent) +
                              " 2>/dev/null | python3 -m json.tool >/dev/null && echo parsed");
        EXPECT_EQ(run.lines, std::vector<std::string>{"parsed"});
    }
    auto notify = runCommand(
        floodmark(home.path(), "--print-config codex-notify") +
        " 2>/dev/null | python3 -c 'import sys, tomllib; print(tomllib.loads(sys.stdin.read())"
        "[\"notify\"][0])'");
    EXPECT_EQ(notify.lines, std::vector<std::string>{"sh"});
    auto codex = runCommand(floodmark(home.path(), "--print-config codex") + " 2>&1 >/dev/null");
    bool toldAboutApproval = false;
    for (const auto& line : codex.lines)
        toldAboutApproval |= line.find("/hooks") != std::string::npos;
    EXPECT_TRUE(toldAboutApproval);
}

// Every command any agent is given runs the installing floodmark by its path, floodmark on the
// PATH where that path is gone (a settings folder shared with another machine), and exits 0
// where neither is there.
TEST(HookSettings, EveryCommandRunsTheInstalledFloodmarkOrThePathsOrNone) {
    TempDirectory home;
    for (const char* name : {"installed", "bin"}) {
        std::string program = home.file(std::string(name) + "/floodmark");
        runCommand("mkdir -p '" + home.file(name) + "'");
        fixtures::writeFile(program, std::string("#!/bin/sh\necho ") + name + " >> \"$HOME/ran\"\n");
        ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    }
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {home.file("installed/floodmark"), home.file("bin"), "installed"},
        {home.file("gone/floodmark"), home.file("bin"), "bin"},
        {home.file("gone/floodmark"), "/nonexistent", ""},
    };
    for (const auto& [program, path, ran] : cases) {
        HookConfig::useProgram(program);
        for (Agent agent : AgentHook::agents) {
            const auto settings = HookConfig::settings(agent);
            for (const auto& [event, list] : settings["hooks"].items()) {
                const auto& item = list[0];
                const auto& hook = item.contains("hooks") ? item["hooks"][0] : item;
                std::string command = hook.contains("bash") ? hook["bash"].get<std::string>()
                                                            : hook["command"].get<std::string>();
                SCOPED_TRACE(command + " with PATH=" + path);
                fixtures::writeFile(home.file("hook.sh"), command + "\n");
                auto run = runCommand("cd '" + home.path() + "' && rm -f ran && HOME='" +
                                      home.path() + "' PATH='" + path +
                                      "' /bin/sh hook.sh </dev/null >/dev/null 2>&1; echo $?; "
                                      "cat ran 2>/dev/null");
                std::vector<std::string> expected{"0"};
                if (*ran != '\0') {
                    expected.push_back(ran);
                }
                EXPECT_EQ(run.lines, expected);
            }
        }
    }
    HookConfig::useProgram("");
}

struct ExistingSettings {
    const char* agent;
    const char* file;  // under the home directory
    const char* content;
    const char* ownEvent;  // an event of ours where the user has a hook of their own
};

// Installing merges into files with other keys and hooks and keeps them; installing twice
// changes nothing; uninstalling gives the rest back; a file that does not parse is refused.
TEST(HookSettings, InstallMergesKeepsAndUninstallRestores) {
    const ExistingSettings cases[] = {
        {"claude-code", ".claude/settings.json",
         R"({"model": "opus", "permissions": {"allow": ["Read"]}, "hooks": {"PostToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "audit.sh"}]}]}})",
         "PostToolUse"},
        {"codex", ".codex/hooks.json",
         R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "notify-send done", "timeout": 3}]}]}})",
         "Stop"},
        {"gemini-cli", ".gemini/settings.json",
         R"({"theme": "Dracula", "hooks": {"AfterTool": [{"matcher": "write_file", "hooks": [{"name": "lint", "type": "command", "command": "lint.sh"}]}]}})",
         "AfterTool"},
        {"cursor", ".cursor/hooks.json",
         R"({"version": 1, "hooks": {"stop": [{"command": "./done.sh"}], "beforeShellExecution": [{"command": "./guard.sh"}]}})",
         "stop"},
        {"copilot-cli", ".copilot/hooks/floodmark.json", R"({"version": 1, "hooks": {}})", ""},
    };
    for (const auto& settings : cases) {
        SCOPED_TRACE(settings.agent);
        TempDirectory home;
        std::string path = home.file(settings.file);
        runCommand("mkdir -p \"$(dirname '" + path + "')\"");
        fixtures::writeFile(path, settings.content);
        auto before = nlohmann::ordered_json::parse(settings.content);

        std::string install = floodmark(home.path(), std::string("--install ") + settings.agent);
        ASSERT_EQ(runCommand(install + " 2>/dev/null; echo $?").lines,
                  std::vector<std::string>{"0"});
        std::string once = contentOf(path);
        auto after = nlohmann::ordered_json::parse(once);
        EXPECT_EQ(contentOf(path + ".before-floodmark"), settings.content);
        for (const auto& [key, value] : before.items()) {
            if (key != "hooks") {
                EXPECT_EQ(after[key], value) << key;
            }
        }
        if (*settings.ownEvent != '\0') {
            const auto& list = after["hooks"][settings.ownEvent];
            EXPECT_EQ(list.front(), before["hooks"][settings.ownEvent].front());
            EXPECT_EQ(list.size(), before["hooks"][settings.ownEvent].size() + 1);
        }
        EXPECT_NE(once.find("floodmark hook --from " + std::string(settings.agent)),
                  std::string::npos);

        runCommand(install + " 2>/dev/null");
        EXPECT_EQ(contentOf(path), once);  // installing again changes nothing

        runCommand(floodmark(home.path(), std::string("--uninstall ") + settings.agent) +
                   " 2>/dev/null");
        if (std::string(settings.agent) == "copilot-cli") {
            EXPECT_FALSE(fixtures::fileExists(path));  // our own file: nothing else was in it
        } else {
            auto restored = nlohmann::ordered_json::parse(contentOf(path));
            EXPECT_EQ(restored, before);
        }

        const std::string broken = R"({"model": "opus",)";
        fixtures::writeFile(path, broken);
        EXPECT_EQ(runCommand(install + " 2>/dev/null; echo $?").lines,
                  std::vector<std::string>{"1"});
        EXPECT_EQ(contentOf(path), broken);
    }
}

// Copilot CLI's user hooks go where it reads them; --repo writes the shared, committed file.
TEST(HookSettings, CopilotInstallsForTheUserUnlessToldTheRepository) {
    TempDirectory home;
    runCommand(floodmark(home.path(), "--install copilot-cli") + " 2>/dev/null");
    EXPECT_TRUE(fixtures::fileExists(home.file(".copilot/hooks/floodmark.json")));
    runCommand(floodmark(home.path(), "--install copilot-cli --repo") + " 2>/dev/null");
    auto shared = nlohmann::json::parse(contentOf(home.file(".github/hooks/floodmark.json")));
    EXPECT_EQ(shared["hooks"]["postToolUseFailure"][0]["timeoutSec"], 5);
}

}  // namespace
}  // namespace floodmark
