#include <gtest/gtest.h>

#include "support/PictureDifference.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"
#include "wayland/CompanionWater.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace floodmark {
namespace {

using fixtures::expectSameWater;
using fixtures::RunningFloodmark;
using fixtures::saverViews;
using fixtures::showsWater;
using fixtures::snapshotOfCompanionWater;
using fixtures::stopTimed;
using fixtures::TempDirectory;
using fixtures::WaylandCompositor;
using fixtures::writeCompanionState;

const char* const calibrationFile = ".local/state/TolveraFloodmarkSaver/calibration.json";

TEST(WaylandSaver, ChoosesItsHostFromTheEnvironmentAndSaysWhatIsMissing) {
    TempDirectory home;
    TempDirectory runtime;
    struct Case {
        std::string environment;  // the only display variables the saver sees
        std::string arguments;
        int status;
        std::string says;
    };
    std::string noSocket = "XDG_RUNTIME_DIR=" + runtime.path() + " WAYLAND_DISPLAY=wayland-none";
    std::vector<Case> cases{
        {noSocket, "", 2, "WAYLAND_DISPLAY='wayland-none'"},
        // Wayland wins over X when both are there.
        {noSocket + " DISPLAY=:77", "", 2, "WAYLAND_DISPLAY='wayland-none'"},
        {"XDG_RUNTIME_DIR=" + runtime.path() + " DISPLAY=:77", "--wayland", 2, "WAYLAND_DISPLAY"},
        {noSocket + " DISPLAY=:77", "--x11", 2, "cannot open the X display ':77'"},
        // An X screen-saver host's hack draws on X whatever else is set.
        {noSocket + " DISPLAY=:77 XSCREENSAVER_WINDOW=0x200001", "", 2, "X display ':77'"},
        {noSocket + " DISPLAY=:77", "--root", 2, "X display ':77'"},
        {noSocket, "--wayland --root", 2, "--wayland cannot draw into an X window"},
        {"", "", 2, "neither WAYLAND_DISPLAY nor DISPLAY is set"},
        // swaylock-plugin's descriptor, when it is none, is named; it wins over DISPLAY.
        {"WAYLAND_SOCKET=abc DISPLAY=:77", "", 2, "WAYLAND_SOCKET='abc'"},
        {"WAYLAND_SOCKET=987", "", 2, "WAYLAND_SOCKET='987'"},
        {noSocket, "--x11 --wayland", 2, "--x11"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.environment + " " + test.arguments);
        auto run = fixtures::runFloodmark(
            test.arguments, home.path(),
            "env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u XSCREENSAVER_WINDOW " +
                test.environment);
        EXPECT_EQ(run.status, test.status);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_NE(run.lines.back().find(test.says), std::string::npos) << run.lines.back();
    }
}

TEST(WaylandSaver, CoversEveryOutputOfSwayFollowsNewOnesAndEndsPromptlyOnSignals) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360", "480x320"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({}, home.path(), sway.environment());
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    // The chrome fades in over the first moments.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(sway.screenshot("HEADLESS-1", shot));
    expectSameWater(shot, snapshotOfCompanionWater(home, "640x360", 1));
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-2", shot, 480, 320); }));
    expectSameWater(shot, snapshotOfCompanionWater(home, "480x320", 1));

    EXPECT_TRUE(fixtures::waitUntil([&] { return saverViews(home) == 2; }));

    // An output plugged in later gets its own surface. (Headless sway 1.7 cannot unplug one:
    // a disabled output keeps its global and its layers.)
    ASSERT_EQ(sway.swaymsg("create_output"), 0);
    ASSERT_EQ(sway.swaymsg("output HEADLESS-3 mode 400x300"), 0);
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-3", shot, 400, 300); }));
    EXPECT_TRUE(fixtures::waitUntil([&] { return saverViews(home) == 3; }));

    auto [status, seconds] = stopTimed(saver, SIGTERM);
    EXPECT_EQ(status, 0);
    EXPECT_LT(seconds, 1.0);
}

// An output of scale 2 gets a buffer of its device pixels, drawn at twice the points' size:
// the same picture as the snapshot at scale 2, not one of its points blown up.
TEST(WaylandSaver, DrawsAScaledOutputInItsDevicePixels) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    ASSERT_EQ(sway.swaymsg("output HEADLESS-1 scale 2"), 0);
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({}, home.path(), sway.environment());
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(sway.screenshot("HEADLESS-1", shot));
    std::string crisp = snapshotOfCompanionWater(home, "320x180", 2);
    expectSameWater(shot, crisp);
    // Closer to it than to the picture of 320×180 pixels blown up, which differs from it only
    // in the edges of the surface line and the glyphs.
    std::string blownUp = home.file("blown-up.png");
    ASSERT_TRUE(fixtures::blowUpPng(snapshotOfCompanionWater(home, "320x180", 1), blownUp, 2));
    EXPECT_LT(fixtures::differenceOfPngs(shot, crisp, 24).farShare + 0.001,
              fixtures::differenceOfPngs(shot, blownUp, 24).farShare);
    EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);
}

// --gpu takes the GPU even though it is llvmpipe here: it swaps into a wl_egl_window of the
// output's pixels, and the water is the one Cairo draws.
TEST(WaylandSaver, TheGpuDrawsTheSameWaterIntoTheSurface) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({"--gpu"}, home.path(), sway.environment());
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(sway.screenshot("HEADLESS-1", shot));
    expectSameWater(shot, snapshotOfCompanionWater(home, "640x360", 1));
    EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);
}

// Without the companion the saver owns the agents' socket: every ending lets it go and keeps
// the calibration.
TEST(WaylandSaver, TermIntOrHupEndItWithinASecondWithTheSocketLetGo) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"320x200"});
    ASSERT_TRUE(sway.running());
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDirectory home;
        RunningFloodmark saver({}, home.path(), sway.environment());
        ASSERT_TRUE(fixtures::waitUntil(
            [&] { return fixtures::fileExists(home.file(".tolvera/live.sock")); }));
        auto [status, seconds] = stopTimed(saver, signal);
        EXPECT_EQ(status, 0);
        EXPECT_LT(seconds, 1.0);
        EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
        EXPECT_TRUE(fixtures::fileExists(home.file(calibrationFile)));
    }
}

TEST(WaylandSaver, AKeyOrAPointerMovedOrClickedThroughTheCompositorEndsItUnlessToldNotTo) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory place;
    pid_t devices = sway.spawn({FLOODMARK_VIRTUAL_INPUT, place.file("input-ready")});
    ASSERT_TRUE(
        fixtures::waitUntil([&] { return fixtures::fileExists(place.file("input-ready")); }));
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> input;  // sway commands for seat0, or a key
        bool ends;
    };
    const std::string key = "the A key";
    const std::string move = "seat seat0 cursor move 40 30";
    const std::string press = "seat seat0 cursor press button1";
    const std::string release = "seat seat0 cursor release button1";
    std::vector<Case> cases{
        {{}, {move, move, move}, true},
        // A pixel's move first, as a hand on the mouse makes: sway 1.10 gives a surface mapped
        // under a still cursor no pointer focus, so a click before any motion reaches no one.
        {{}, {"seat seat0 cursor move 1 0", press, release}, true},
        {{}, {key}, true},
        // A hand resting on the mouse drifts a pixel or two.
        {{}, {"seat seat0 cursor move 2 1", "seat seat0 cursor move 1 2"}, false},
        {{"--no-input-exit"}, {move, move, press, release, key}, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.input.front() + (test.arguments.empty() ? "" : " --no-input-exit"));
        TempDirectory home;
        RunningFloodmark saver(test.arguments, home.path(), sway.environment());
        std::string shot = home.file("shot.png");
        ASSERT_TRUE(fixtures::waitUntil([&] { return sway.showsCanvas("HEADLESS-1", shot); }));
        // What moves in the first second is the compositor settling; then the user's hand.
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        for (const auto& command : test.input) {
            EXPECT_EQ(command == key ? kill(devices, SIGUSR1) : sway.swaymsg(command), 0);
        }
        auto status = saver.waitForExit(test.ends ? 3 : 1.5);
        if (test.ends) {
            EXPECT_EQ(status, 0);
        } else {
            EXPECT_FALSE(status);
            EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);
        }
        EXPECT_TRUE(fixtures::fileExists(home.file(calibrationFile)));
    }
    kill(devices, SIGTERM);
    waitpid(devices, nullptr, 0);
}

TEST(WaylandSaver, EndsWhenTheCompositorGoes) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"320x200"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    RunningFloodmark saver({}, home.path(), sway.environment());
    ASSERT_TRUE(
        fixtures::waitUntil([&] { return fixtures::fileExists(home.file(".tolvera/live.sock")); }));
    sway.kill();
    EXPECT_EQ(saver.waitForExit(3), 0);
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
    EXPECT_TRUE(fixtures::fileExists(home.file(calibrationFile)));
}

// swaylock-plugin's contract: a connected descriptor in WAYLAND_SOCKET, no WAYLAND_DISPLAY.
TEST(WaylandSaver, DrawsOnTheConnectionWaylandSocketGivesUntilTerminated) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"480x320"});
    ASSERT_TRUE(sway.running());
    int connection = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sway.socketPath().c_str());
    ASSERT_EQ(connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({}, home.path(),
                           {"WAYLAND_SOCKET=" + std::to_string(connection), "WAYLAND_DISPLAY=",
                            "DISPLAY=", "SWAYLOCK_PLUGIN_OUTPUT_NAME=HEADLESS-1"});
    close(connection);
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 480, 320); }));
    auto [status, seconds] = stopTimed(saver, SIGTERM);
    EXPECT_EQ(status, 0);
    EXPECT_LT(seconds, 1.0);
}

// swaylock-plugin --command-each runs one process per output, naming it: each covers its own,
// and both show the same water.
TEST(WaylandSaver, OneProcessPerNamedOutputEachCoversItsOwnWithTheSameWater) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360", "480x320"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    writeCompanionState(home);
    auto environmentFor = [&](const std::string& output) {
        auto environment = sway.environment();
        environment.push_back("SWAYLOCK_PLUGIN_OUTPUT_NAME=" + output);
        return environment;
    };
    RunningFloodmark first({}, home.path(), environmentFor("HEADLESS-1"));
    RunningFloodmark second({}, home.path(), environmentFor("HEADLESS-2"));
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-2", shot, 480, 320); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_TRUE(sway.screenshot("HEADLESS-2", shot));
    expectSameWater(shot, snapshotOfCompanionWater(home, "480x320", 1));

    // The second output was the second process's alone.
    EXPECT_EQ(stopTimed(second, SIGTERM).first, 0);
    EXPECT_TRUE(fixtures::waitUntil([&] { return !sway.showsCanvas("HEADLESS-2", shot); }));
    writeCompanionState(home);
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    EXPECT_EQ(stopTimed(first, SIGTERM).first, 0);
}

// When its surface is not shown the saver draws nothing and is not even ticked, so its feed
// gives the status file no heartbeat; when it is shown again it goes on.
std::optional<timespec> statusWrittenAt(const TempDirectory& home) {
    std::string folder = home.file(".local/state/TolveraFloodmarkSaver/status");
    std::optional<timespec> latest;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        struct stat status {};
        if (stat(entry.path().c_str(), &status) == 0 &&
            (!latest || status.st_mtim.tv_sec > latest->tv_sec ||
             (status.st_mtim.tv_sec == latest->tv_sec &&
              status.st_mtim.tv_nsec > latest->tv_nsec))) {
            latest = status.st_mtim;
        }
    }
    return latest;
}

bool sameTime(const std::optional<timespec>& first, const std::optional<timespec>& second) {
    return first && second && first->tv_sec == second->tv_sec && first->tv_nsec == second->tv_nsec;
}

TEST(WaylandSaver, OwnWindowIsATitledToplevelAndIsNotTickedWhileHidden) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    RunningFloodmark saver({"--window"}, home.path(), sway.environment());
    std::string shot = home.file("shot.png");
    std::string tree;
    EXPECT_TRUE(fixtures::waitUntil([&] {
        tree = sway.swayReply("-t get_tree");
        return tree.find(R"("app_id": "floodmark")") != std::string::npos;
    }));
    EXPECT_NE(tree.find(R"("name": "Floodmark")"), std::string::npos);
    ASSERT_TRUE(fixtures::waitUntil([&] { return sway.showsCanvas("HEADLESS-1", shot); }));

    ASSERT_EQ(sway.swaymsg("workspace 2"), 0);
    // A second for the frame callback to be missed, then a heartbeat's time with none.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto hiddenSince = statusWrittenAt(home);
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    EXPECT_TRUE(sameTime(statusWrittenAt(home), hiddenSince));

    ASSERT_EQ(sway.swaymsg("workspace 1"), 0);
    EXPECT_TRUE(fixtures::waitUntil([&] { return !sameTime(statusWrittenAt(home), hiddenSince); },
                                    std::chrono::seconds(5)));
    EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);
}

TEST(WaylandSaver, WithoutLayerShellEachOutputGetsAFullScreenWindow) {
    WaylandCompositor weston(WaylandCompositor::Kind::weston, {"640x360"});
    ASSERT_TRUE(weston.running());
    TempDirectory home;
    writeCompanionState(home);
    RunningFloodmark saver({}, home.path(), weston.environment());
    std::string shot = home.file("shot.png");
    EXPECT_TRUE(fixtures::waitUntil([&] { return showsWater(weston, "", shot, 640, 360); }));
    auto [status, seconds] = stopTimed(saver, SIGTERM);
    EXPECT_EQ(status, 0);
    EXPECT_LT(seconds, 1.0);
}

}  // namespace
}  // namespace floodmark
