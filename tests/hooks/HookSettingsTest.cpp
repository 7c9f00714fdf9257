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
        {"cursor", ".cursor/hooks.json", R"({"hooks": {"stop": [{"command": "./done.sh"}]}})",
         "stop"},
        {"copilot-cli", ".copilot/hooks/floodmark.json", R"({"version": 1, "hooks": {}})", ""},
        // Not ours, so back to the byte: a BOM, CRLF, a duplicate key, numbers' own text.
        {"claude-code", ".claude/settings.json",
         "\xEF\xBB\xBF{\"n\": 1e2,\r\n \"big\": 1180591620717411303424, \"n\": 2}\r\n", ""},
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
            EXPECT_EQ(contentOf(path), settings.content);
        }

        const std::string broken = R"({"model": "opus",)";
        fixtures::writeFile(path, broken);
        EXPECT_EQ(runCommand(install + " 2>/dev/null; echo $?").lines,
                  std::vector<std::string>{"1"});
        EXPECT_EQ(contentOf(path), broken);
    }
}

bool isLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

struct Refusal {
    const char* name;
    const char* setup;      // shell commands run in the home directory
    const char* directory;  // where floodmark runs, in the home directory
    const char* arguments;
    const char* untouched;  // a file that must keep its bytes ("" for none)
    const char* absent;     // a file that must not be made
    const char* said;       // what the refusal says
};

// What must not be touched is refused, with exit status 1 and a reason, and left as it was.
TEST(HookSettings, RefusesWhatItMustNotTouch) {
    const Refusal cases[] = {
        {"a repository's file links to a secret",
         "mkdir -p repo/.git repo/.claude secret && echo '{\"auths\": 1}' > secret/config.json && "
         "ln -s ../../secret/config.json repo/.claude/settings.json",
         "repo", "--install claude-code --repo", "secret/config.json",
         "repo/.claude/settings.json.before-floodmark", "is a link"},
        {"a repository's backup links to a secret",
         "mkdir -p repo/.git repo/.codex secret && echo '{}' > secret/config.json && "
         "ln -s ../../secret/config.json repo/.codex/hooks.json.before-floodmark",
         "repo", "--install codex --repo", "secret/config.json", "repo/.codex/hooks.json",
         "is a link"},
        {"a repository's folder links out of it",
         "mkdir -p repo/.git secret/hooks && echo '{}' > secret/hooks/floodmark.json && "
         "ln -s ../secret repo/.github",
         "repo", "--install copilot-cli --repo", "secret/hooks/floodmark.json",
         "secret/hooks/floodmark.json.before-floodmark", "is a link"},
        {"an empty file, as an agent truncating it leaves it",
         "mkdir .gemini && : > .gemini/settings.json", ".", "--install gemini-cli",
         ".gemini/settings.json", ".gemini/settings.json.before-floodmark", "try again shortly"},
        {"--repo outside a repository", "mkdir plain", "plain", "--install codex --repo", "",
         "plain/.codex", "no repository"},
        {"a link into a read-only store",
         "mkdir -p store .claude && echo '{\"model\": \"opus\"}' > store/settings.json && "
         "chmod 444 store/settings.json && ln -s ../store/settings.json .claude/settings.json",
         ".", "--install claude-code", "store/settings.json",
         ".claude/settings.json.before-floodmark", "--print-config claude-code"},
        {"a value the hooks cannot go into",
         "mkdir .cursor && echo '{\"hooks\": \"off\"}' > .cursor/hooks.json", ".",
         "--install cursor", ".cursor/hooks.json", ".cursor/hooks.json.before-floodmark",
         "will not replace"},
        {"Gemini CLI's comments",
         "mkdir .gemini && printf '{\\n  // mine\\n  \"theme\": 1\\n}\\n' > .gemini/settings.json",
         ".", "--install gemini-cli", ".gemini/settings.json",
         ".gemini/settings.json.before-floodmark",
         "a rewrite would lose; left it untouched\nadd these to its \"hooks\" by hand:\n{\n  "
         "\"SessionStart\""},
    };
    for (const auto& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        TempDirectory home;
        ASSERT_EQ(runCommand("cd '" + home.path() + "' && " + refusal.setup + "; echo $?").lines,
                  std::vector<std::string>{"0"});
        std::string untouched = home.file(refusal.untouched);
        std::string before = *refusal.untouched ? contentOf(untouched) : "";
        auto run =
            runCommand("cd '" + home.file(refusal.directory) + "' && HOME='" + home.path() + "' " +
                       FLOODMARK_BINARY + " hook " + refusal.arguments + " 2>&1; echo $?");
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(run.lines.back(), "1");
        std::string said;
        for (const auto& line : run.lines) {
            said += line + "\n";
        }
        EXPECT_NE(said.find(refusal.said), std::string::npos) << said;
        if (*refusal.untouched) {
            EXPECT_EQ(contentOf(untouched), before);
        }
        EXPECT_FALSE(fixtures::fileExists(home.file(refusal.absent)));
    }
}

// A settings file that is a link (a dotfiles manager's) is written through and stays a link;
// where there was no file, an uninstall leaves none; the backup only ever holds the user's
// own file, and says so once it is from an earlier install.
TEST(HookSettings, UninstallUndoesInstall) {
    TempDirectory home;
    runCommand("cd '" + home.path() + "' && mkdir dotfiles .claude && printf '{\"model\": 1}' " +
               "> dotfiles/settings.json && ln -s ../dotfiles/settings.json .claude/settings.json");
    std::string link = home.file(".claude/settings.json");
    std::string backup = link + ".before-floodmark";
    const std::pair<const char*, const char*> rounds[] = {
        {"--install", "your file as it was: "},
        {"--uninstall", "holds your file from before the install"},
        {"--install", "holds your file from before an earlier install"},
    };
    for (const auto& [action, said] : rounds) {
        SCOPED_TRACE(action);
        auto run = runCommand(floodmark(home.path(), std::string(action) + " claude-code") +
                              " 2>&1 | head -1");
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_NE(run.lines[0].find(said), std::string::npos) << run.lines[0];
        EXPECT_TRUE(isLink(link));
        EXPECT_EQ(contentOf(backup), R"({"model": 1})");
    }
    EXPECT_NE(contentOf(home.file("dotfiles/settings.json")).find("--from claude-code"),
              std::string::npos);

    for (const char* agent : agentIds) {
        SCOPED_TRACE(agent);
        TempDirectory empty;
        runCommand(floodmark(empty.path(), std::string("--install ") + agent) + " 2>/dev/null");
        runCommand(floodmark(empty.path(), std::string("--uninstall ") + agent) + " 2>/dev/null");
        auto left = runCommand("cd '" + empty.path() + "' && find . -type f");
        EXPECT_EQ(left.lines, std::vector<std::string>{});
    }
}

// Copilot CLI's user hooks go where it reads them; --repo writes the shared, committed file at
// the repository's root, from any folder in it.
TEST(HookSettings, CopilotInstallsForTheUserUnlessToldTheRepository) {
    TempDirectory home;
    runCommand(floodmark(home.path(), "--install copilot-cli") + " 2>/dev/null");
    EXPECT_TRUE(fixtures::fileExists(home.file(".copilot/hooks/floodmark.json")));
    runCommand("mkdir -p '" + home.file("repo/.git") + "' '" + home.file("repo/sub") + "'");
    runCommand("cd '" + home.file("repo/sub") + "' && HOME='" + home.path() + "' " +
               FLOODMARK_BINARY + " hook --install copilot-cli --repo 2>/dev/null");
    auto shared = nlohmann::json::parse(contentOf(home.file("repo/.github/hooks/floodmark.json")));
    EXPECT_EQ(shared["hooks"]["postToolUseFailure"][0]["timeoutSec"], 5);
    EXPECT_FALSE(fixtures::fileExists(home.file("repo/sub/.github")));
}

// Run as root with the user's home (`sudo -E`), the files keep their owner, group and mode, and
// the folders and files made anew belong to the home's owner.
TEST(HookSettings, RootKeepsTheUsersOwnership) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    TempDirectory home;
    const uid_t user = 65534;
    runCommand("cd '" + home.path() + "' && mkdir .claude && echo '{}' > .claude/settings.json" +
               " && chmod 640 .claude/settings.json && chown -R 65534:65534 .");
    runCommand(floodmark(home.path(), "--install claude-code") + " 2>/dev/null");
    runCommand(floodmark(home.path(), "--install codex") + " 2>/dev/null");
    const std::pair<const char*, unsigned> files[] = {
        {".claude/settings.json", 0640},
        {".claude/settings.json.before-floodmark", 0640},
        {".codex", 0755},
        {".codex/hooks.json", 0644},
    };
    for (const auto& [name, mode] : files) {
        struct stat status {};
        ASSERT_EQ(stat(home.file(name).c_str(), &status), 0) << name;
        EXPECT_EQ(status.st_uid, user) << name;
        EXPECT_EQ(status.st_gid, user) << name;
        EXPECT_EQ(status.st_mode & 0777, mode) << name;
    }
}

}  // namespace
}  // namespace floodmark
