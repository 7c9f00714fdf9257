#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A private XDG_CONFIG_HOME, and systemctl replaced by a stand-in that notes its arguments
// (or "none": no systemd), for the floodmark processes this test starts.
class IdleSetup : public ::testing::Test {
protected:
    void useSystemctl(const std::string& program) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("FLOODMARK_SYSTEMCTL", program.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("FLOODMARK_SYSTEMCTL");
    }
    std::string standInSystemctl(const std::string& exitStatus = "0") {
        std::string path = home.file("systemctl");
        fixtures::writeFile(path, "#!/bin/sh\necho \"$@\" >> '" + home.file("calls") + "'\nexit " +
                                      exitStatus + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }

    TempDirectory home;
    std::string config = home.file("config");
    std::string unit = config + "/systemd/user/floodmark-idle.service";
    std::string dropIn = config + "/systemd/user/floodmark-idle.service.d/floodmark.conf";
    std::string autostart = config + "/autostart/floodmark-idle.desktop";
    std::string floodmark = FLOODMARK_BINARY;
};

TEST_F(IdleSetup, EnableWritesTheUnitAndDropInAndStartsTheServiceDisableUndoesIt) {
    useSystemctl(standInSystemctl());
    auto enabled = fixtures::runFloodmark("idle --enable --after 2.5 -- --cpu", home.path());
    EXPECT_EQ(enabled.status, 0);
    EXPECT_EQ(contentOf(dropIn),
              "# Written by floodmark idle --enable; removed by --disable.\n"
              "[Service]\nExecStart=\nExecStart=\"" +
                  floodmark + "\" \"idle\" \"--after\" \"2.5\" \"--\" \"--cpu\"\n");
    // A build tree's unit is where the user manager does not look: a copy goes beside the drop-in.
    std::string unitText = contentOf(unit);
    EXPECT_NE(unitText.find("\nPartOf=graphical-session.target\n"), std::string::npos);
    EXPECT_NE(unitText.find("\nRestart=on-failure\n"), std::string::npos);
    EXPECT_NE(unitText.find("\nWantedBy=graphical-session.target\n"), std::string::npos);
    EXPECT_EQ(contentOf(home.file("calls")),
              "--user daemon-reload\n--user enable --now floodmark-idle.service\n");
    EXPECT_EQ(enabled.lines,
              (std::vector<std::string>{
                  "wrote " + unit, "wrote " + dropIn, "ran: systemctl --user daemon-reload",
                  "ran: systemctl --user enable --now floodmark-idle.service"}));

    // A unit of the user's own is never removed.
    std::string own = config + "/systemd/user/floodmark-idle.service.d/mine.conf";
    fixtures::writeFile(own, "[Service]\nNice=5\n");
    auto disabled = fixtures::runFloodmark("idle --disable", home.path());
    EXPECT_EQ(disabled.status, 0);
    EXPECT_FALSE(fixtures::fileExists(dropIn));
    EXPECT_FALSE(fixtures::fileExists(unit));
    EXPECT_TRUE(fixtures::fileExists(own));
    EXPECT_EQ(contentOf(home.file("calls")),
              "--user daemon-reload\n--user enable --now floodmark-idle.service\n"
              "--user disable --now floodmark-idle.service\n--user daemon-reload\n");
}

TEST_F(IdleSetup, AFailingSystemctlIsSaidAndFailsTheCommand) {
    useSystemctl(standInSystemctl("1"));
    auto enabled = fixtures::runFloodmark("idle --enable", home.path());
    EXPECT_EQ(enabled.status, 1);
    ASSERT_FALSE(enabled.lines.empty());
    EXPECT_EQ(enabled.lines.back(), "failed: systemctl --user daemon-reload");
}

TEST_F(IdleSetup, WithoutSystemdAnAutostartEntryRunsTheWatcher) {
    useSystemctl("none");
    auto enabled = fixtures::runFloodmark("idle --enable --after 10", home.path());
    EXPECT_EQ(enabled.status, 0);
    EXPECT_NE(
        contentOf(autostart).find("\nExec=\"" + floodmark + "\" \"idle\" \"--after\" \"10\"\n"),
        std::string::npos);
    EXPECT_FALSE(fixtures::fileExists(dropIn));
    EXPECT_EQ(fixtures::runFloodmark("idle --disable", home.path()).status, 0);
    EXPECT_FALSE(fixtures::fileExists(autostart));
}

// Each would enable the watcher (status 0, an autostart entry) if it were taken.
TEST_F(IdleSetup, MistakesAreRefusedWithStatusTwoAndWriteNothing) {
    useSystemctl("none");
    for (const char* words :
         {"idle --enable --after -1", "idle --enable --after nan", "idle --enable --after 1e9",
          "idle --enable --after soon", "idle --enable --x11 --wayland", "idle --enable --disable",
          "idle --enable --bogus", "idle --enable -- \"$(printf 'a\\tb')\""}) {
        EXPECT_EQ(fixtures::runFloodmark(words, home.path()).status, 2) << words;
        EXPECT_FALSE(fixtures::fileExists(autostart)) << words;
    }
    EXPECT_EQ(fixtures::runFloodmark("idle --enable --after 0.5", home.path()).status, 0);
    EXPECT_TRUE(fixtures::fileExists(autostart));
}

}  // namespace
}  // namespace floodmark
