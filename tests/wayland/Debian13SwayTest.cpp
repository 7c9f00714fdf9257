#include <gtest/gtest.h>

#include "support/PictureDifference.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"
#include "wayland/CompanionWater.h"

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <sstream>
#include <thread>

// What Debian 12's sway 1.7 cannot show: headless outputs unplugged and fractional scales, on
// Debian 13's sway 1.10.
namespace floodmark {
namespace {

using fixtures::expectSameWater;
using fixtures::saverViews;
using fixtures::showsWater;
using fixtures::snapshotOfCompanionWater;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using fixtures::writeCompanionState;
using namespace std::chrono_literals;

// The saver started through the compositor's environment with its Wayland protocol logged to
// `home`/log, for what a picture cannot show.
pid_t startSaverLoggingProtocol(const WaylandCompositor& sway, const TempDirectory& home) {
    return sway.spawn({"sh", "-c", R"(HOME=$0 WAYLAND_DEBUG=client exec "$1" 2>"$0/log")",
                       home.path(), FLOODMARK_BINARY});
}

// Ends the saver with SIGTERM: its exit status, −1 when it did not exit by itself.
int endSaver(pid_t saver) {
    kill(saver, SIGTERM);
    int status = -1;
    waitpid(saver, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string protocolLog(const TempDirectory& home) {
    return fixtures::protocolLog(home.file("log"));
}

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
// goes on being drawn, the compositor is told that the saver lets the output go, an output
// plugged in later gets a view again, and with none left the saver still runs.
TEST_F(Debian13Sway, OutputsUnpluggedUnderTheSaverLoseTheirViewsAndNothingElse) {
    WaylandCompositor sway(WaylandCompositor::Kind::debian13Sway, {"640x360", "480x320"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    writeCompanionState(home);
    pid_t saver = startSaverLoggingProtocol(sway, home);
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-2", shot, 480, 320); }));
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 2; }));

    ASSERT_EQ(sway.swaymsg("output HEADLESS-2 unplug"), 0);
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 1; }));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(waitpid(saver, nullptr, WNOHANG), 0) << "the saver goes on";
    // Its wl_output, bound at version 4, released rather than forgotten: the compositor would
    // keep it for as long as the saver runs.
    std::smatch bound;
    std::string log = protocolLog(home);
    ASSERT_TRUE(
        std::regex_search(log, bound, std::regex(R"((wl_output@\d+)\.name\("HEADLESS-2"\))")));
    EXPECT_NE(log.find(" -> " + bound[1].str() + ".release()"), std::string::npos);
    // Still drawn: the water's surface moves between two pictures a couple of seconds apart.
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

    // With no output left it waits, drawing nothing, for SIGTERM. (Plugging one in now crashes
    // sway 1.10.1 itself whenever a layer surface with exclusive keyboard focus was on the last
    // output that went, so that is not tried here.)
    ASSERT_EQ(sway.swaymsg("output HEADLESS-1 unplug"), 0);
    ASSERT_EQ(sway.swaymsg("output HEADLESS-3 unplug"), 0);
    EXPECT_TRUE(waitUntil([&] { return saverViews(home) == 0; }));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(waitpid(saver, nullptr, WNOHANG), 0) << "the saver goes on";
    EXPECT_EQ(endSaver(saver), 0);
}

// At a fractional scale sway offers fractional scale: the saver draws a buffer of the output's
// device pixels (960×540 here) sized through wp_viewport to the output's points, as its protocol
// log shows, also when the scale changes under it. The picture is the snapshot's at that scale,
// nearer to it than to one drawn at the rounded-up scale 2 and shrunk by the compositor.
TEST_F(Debian13Sway, DrawsAFractionallyScaledOutputInItsDevicePixels) {
    WaylandCompositor sway(WaylandCompositor::Kind::debian13Sway, {"960x540"});
    ASSERT_TRUE(sway.running());
    struct Case {
        double scale;
        std::string points;
        std::string destination;  // as the saver sets the viewport's
        std::string preferred;    // sway's preferred scale, in 120ths
    };
    std::vector<Case> cases{
        {1.5, "640x360", "640, 360", "180"},
        {1.25, "768x432", "768, 432", "150"},
    };
    TempDirectory home;
    writeCompanionState(home);
    ASSERT_EQ(sway.swaymsg("output HEADLESS-1 scale 1.5"), 0);
    pid_t saver = startSaverLoggingProtocol(sway, home);
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 960, 540); }));
    std::this_thread::sleep_for(800ms);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.scale);
        std::ostringstream scale;
        scale << test.scale;
        ASSERT_EQ(sway.swaymsg("output HEADLESS-1 scale " + scale.str()), 0);
        std::string crisp = snapshotOfCompanionWater(home, test.points, test.scale);
        EXPECT_TRUE(waitUntil([&] {
            return sway.screenshot("HEADLESS-1", shot) &&
                   fixtures::differenceOfPngs(shot, crisp, 24).mean < 2;
        }));
        expectSameWater(shot, crisp);
        std::string shrunk = home.file("shrunk.png");
        ASSERT_TRUE(fixtures::blowUpPng(snapshotOfCompanionWater(home, test.points, 2), shrunk,
                                        test.scale / 2));
        EXPECT_LT(fixtures::differenceOfPngs(shot, crisp, 24).mean * 1.5,
                  fixtures::differenceOfPngs(shot, shrunk, 24).mean);
        std::string log = protocolLog(home);
        EXPECT_NE(log.find("preferred_scale(" + test.preferred + ")"), std::string::npos);
        EXPECT_NE(log.find(".set_destination(" + test.destination + ")"), std::string::npos);
    }
    EXPECT_EQ(endSaver(saver), 0);
    std::string log = protocolLog(home);
    EXPECT_TRUE(std::regex_search(
        log, std::regex(R"(create_buffer\(new id wl_buffer@\d+, \d+, 960, 540,)")));
    EXPECT_EQ(log.find("set_buffer_scale"), std::string::npos);
}

}  // namespace
}  // namespace floodmark
