#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

bool says(const fixtures::CommandRun& run, const std::string& text) {
    return std::ranges::any_of(
        run.lines, [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// floodmark without its helpers, as a build of the tools alone and the floodmark-tools package
// have it: the small tools run, every other command says that it is not in this build and
// fails having done nothing, and a mistyped command is still a mistake. With its helpers it
// says nothing of the kind.
TEST(ToolsAlone, RunTheToolsAndSayWhatIsNotInThisBuild) {
    TempDirectory home;
    std::filesystem::create_directory(home.file("bin"));
    std::filesystem::copy_file(FLOODMARK_BINARY, home.file("bin/floodmark"));
    const std::string alone =
        "only the small tools (hook, signal, status, away, demo) are in this build";
    const struct {
        const char* arguments;
        int status;
        std::string says;
    } cases[] = {
        {"", 1, "floodmark: the saver is not in this build (no floodmark-saver beside"},
        {"--fullscreen", 1, "floodmark: the saver is not in this build"},
        {"render --out pictures", 1, "floodmark: render is not in this build"},
        {"install-hack", 1, "floodmark: install-hack is not in this build"},
        {"options", 1, "floodmark: options is not in this build (no floodmark-options"},
        {"idle --enable", 1, "floodmark: idle is not in this build (no floodmark-idle"},
        {"frames --count 1", 1, alone},
        {"--help", 0, "Note: " + alone},
        {"status", 0, "idle watcher: not running"},
        {"hook --print-config claude-code", 0, "floodmark hook --from claude-code"},
        {"no-such-command", 2, "floodmark: unknown command 'no-such-command'"},
    };
    for (const auto& [arguments, status, text] : cases) {
        auto run = fixtures::runCommand("HOME='" + home.path() + "' XDG_STATE_HOME= " +
                                        home.file("bin/floodmark") + " " + arguments + " 2>&1");
        EXPECT_EQ(run.status, status) << arguments;
        EXPECT_TRUE(says(run, text)) << arguments << " did not say: " << text;
    }
    EXPECT_FALSE(fixtures::fileExists(home.file(".xscreensaver")));
    EXPECT_FALSE(fixtures::fileExists(home.file("pictures")));

    auto whole = fixtures::runFloodmark("--help", home.path());
    EXPECT_EQ(whole.status, 0);
    EXPECT_FALSE(says(whole, alone));
}

}  // namespace
}  // namespace floodmark
