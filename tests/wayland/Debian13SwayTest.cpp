#include <gtest/gtest.h>

#include "support/PictureDifference.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"
#include "wayland/CompanionWater.h"

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <thread>

// What Debian 12's sway 1.7 cannot show: headless outputs unplugged and fractional scales, on
// Debian 13's sway 1.10.
namespace floodmark {
namespace {

using fixtures::expectSameWater;
using fixtures::RunningFloodmark;
using fixtures::saverViews;
using fixtures::showsWater;
using fixtures::snapshotOfCompanionWater;
using fixtures::stopTimed;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using fixtures::writeCompanionState;
using namespace std::chrono_literals;

class Debian13Sway : public testing::Test {
protected:
    void SetUp() override {
        std::string why = WaylandCompositor::unavailable(WaylandCompositor::Kind::debian13Sway);
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
    }
};

// An output unplugged under the saver takes its view away and nothing else: the other output
// goes on being drawn, and an output plugged in later gets a view again.
TEST_F(Debian13Sway, AnOutputUnpluggedUnderTheSaverLeavesTheOtherDrawnAndANewOneGetsAView) {
    WaylandCompositor sway(WaylandCompositor::Kind::debian13Sway, {"640x360", "480x320"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({}, home.path(), sway.environment());
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-2", shot, 480, 320); }));
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 2; }));

    ASSERT_EQ(sway.swaymsg("output HEADLESS-2 unplug"), 0);
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 1; }));
    EXPECT_FALSE(saver.waitForExit(1)) << "the saver goes on";
    // Still drawn: the clock moves on between two pictures a couple of seconds apart.
    std::string later = home.file("later.png");
    ASSERT_TRUE(showsWater(sway, "HEADLESS-1", shot, 640, 360));
    std::this_thread::sleep_for(2200ms);
    ASSERT_TRUE(showsWater(sway, "HEADLESS-1", later, 640, 360));
    EXPECT_GT(fixtures::differenceOfPngs(shot, later, 24).farShare, 0.0);
    expectSameWater(later, snapshotOfCompanionWater(home, "640x360", 1));

    ASSERT_EQ(sway.swaymsg("create_output"), 0);
    ASSERT_EQ(sway.swaymsg("output HEADLESS-3 mode 400x300"), 0);
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-3", shot, 400, 300); }));
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 2; }));
    EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);
}

// At scale 1.5 sway offers fractional scale: the saver draws a buffer of the output's device
// pixels (960×540 for 640×360 points) and sizes it through wp_viewport, as its protocol log
// shows. The picture is the snapshot's at 1.5, nearer to it than to one drawn at the rounded-up
// scale 2 and shrunk.
TEST_F(Debian13Sway, DrawsAFractionallyScaledOutputInItsDevicePixels) {
    WaylandCompositor sway(WaylandCompositor::Kind::debian13Sway, {"960x540"});
    ASSERT_TRUE(sway.running());
    ASSERT_EQ(sway.swaymsg("output HEADLESS-1 scale 1.5"), 0);
    TempDirectory home;
    writeCompanionState(home);
    pid_t saver = sway.spawn({"sh", "-c", R"(HOME=$0 WAYLAND_DEBUG=client exec "$1" 2>"$0/log")",
                              home.path(), FLOODMARK_BINARY});
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 960, 540); }));
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(sway.screenshot("HEADLESS-1", shot));
    kill(saver, SIGTERM);
    int status = -1;
    waitpid(saver, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream logFile(home.file("log"));
    std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(preferred_scale\(180\))")));
    EXPECT_TRUE(std::regex_search(
        log, std::regex(R"(create_buffer\(new id wl_buffer@\d+, \d+, 960, 540,)")));
    EXPECT_TRUE(
        std::regex_search(log, std::regex(R"(wp_viewport@\d+\.set_destination\(640, 360\))")));
    EXPECT_FALSE(std::regex_search(log, std::regex(R"(set_buffer_scale\(2\))")));

    std::string crisp = snapshotOfCompanionWater(home, "640x360", 1.5);
    expectSameWater(shot, crisp);
    std::string shrunk = home.file("shrunk.png");
    ASSERT_TRUE(fixtures::blowUpPng(snapshotOfCompanionWater(home, "640x360", 2), shrunk, 0.75));
    EXPECT_LT(fixtures::differenceOfPngs(shot, crisp, 24).mean * 1.5,
              fixtures::differenceOfPngs(shot, shrunk, 24).mean);
}

}  // namespace
}  // namespace floodmark
