#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/RunFloodmark.h"
#include "support/StandInSaver.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ostream>
#include <thread>

namespace floodmark {
namespace {

using fixtures::processAlive;
using fixtures::RunningFloodmark;
using fixtures::StandInSaver;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using namespace std::chrono_literals;

// sway 1.7 offers KDE's idle protocol: its timeout starts the saver, pointer motion stops it, and
// the watcher ends with the compositor.
TEST(WaylandIdle, KdeIdleOnHeadlessSwayStartsAndStopsTheSaver) {
    if (std::string why = WaylandCompositor::unavailableKdeIdle(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    StandInSaver saver(home);
    // The compositor's environment names WAYLAND_SOCKET empty, which means unset.
    auto environment = sway.environment();
    environment.push_back(saver.environment());
    RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(), environment);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    int pid = saver.starts()[0];
    EXPECT_EQ(saver.arguments()[0], "") << "on Wayland the saver covers every output by itself";
    auto status = WatcherStatus::read(home.path() + "/.local/state/TolveraFloodmarkSaver/status/" +
                                      WatcherStatus::fileName);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->source, "kde-idle");

    std::this_thread::sleep_for(2s);  // a resume before then may be the saver's own surfaces
    ASSERT_EQ(sway.swaymsg("seat seat0 cursor move 20 10"), 0);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(pid); }));
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 2; })) << "idle again";

    sway.kill();
    EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
    EXPECT_FALSE(processAlive(saver.starts()[1]));
}

// As a newcomer sets it up: the real saver, no arguments, on a session with two outputs and a
// pointer. Three seconds of no input bring the water onto both outputs, not sooner; a pointer
// move takes it away from both. On Debian 12's sway through KDE's idle protocol, on
// Debian 13's through ext-idle-notify-v1.
struct IdleSway {
    WaylandCompositor::Kind kind;
    std::string source;
};

// Test names say the source rather than the bytes.
void PrintTo(const IdleSway& sway, std::ostream* out) {
    *out << sway.source;
}

class WaylandIdleOnSway : public testing::TestWithParam<IdleSway> {
protected:
    void SetUp() override {
        std::string why = GetParam().source == "kde-idle"
                              ? WaylandCompositor::unavailableKdeIdle()
                              : WaylandCompositor::unavailable(GetParam().kind);
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
    }
};

TEST_P(WaylandIdleOnSway, TheWaterComesOverBothOutputsAfterTheTimeoutAndGoesAtAPointerMove) {
    WaylandCompositor sway(GetParam().kind, {"640x360", "480x320"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    pid_t pointer = sway.spawn({FLOODMARK_VIRTUAL_INPUT, home.file("input-ready")});
    ASSERT_TRUE(waitUntil([&] { return fixtures::fileExists(home.file("input-ready")); }));
    std::string shot = home.file("shot.png");
    auto covered = [&](bool both) {
        bool first = sway.showsCanvas("HEADLESS-1", shot);
        bool second = sway.showsCanvas("HEADLESS-2", shot);
        return both ? first && second : first || second;
    };
    ASSERT_EQ(sway.swaymsg("seat seat0 cursor move 5 5"), 0);
    auto idleFrom = std::chrono::steady_clock::now();
    RunningFloodmark watch({"idle", "--after", "0.05"}, home.path(), sway.environment());
    std::string statusPath =
        home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
    ASSERT_TRUE(waitUntil([&] { return WatcherStatus::read(statusPath).has_value(); }));
    EXPECT_EQ(WatcherStatus::read(statusPath)->source, GetParam().source);
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(covered(false)) << "not before the three seconds are up";
    ASSERT_TRUE(waitUntil([&] { return covered(true); }));
    EXPECT_GE(std::chrono::steady_clock::now() - idleFrom, 3s);

    std::this_thread::sleep_for(2s);  // past the moments of the saver's surfaces appearing
    ASSERT_EQ(sway.swaymsg("seat seat0 cursor move 40 30"), 0);
    EXPECT_TRUE(waitUntil([&] { return !covered(false); }));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
    kill(pointer, SIGTERM);
    waitpid(pointer, nullptr, 0);
}

// What the compositor counts as inhibiting idleness holds the saver off: a window that sway is
// told keeps the session awake (as a video player asks), until it lets go.
TEST_P(WaylandIdleOnSway, AWindowInhibitingIdlenessHoldsTheSaverOffUntilItLetsGo) {
    WaylandCompositor sway(GetParam().kind, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory windowHome;
    RunningFloodmark window({"--window"}, windowHome.path(), sway.environment());
    ASSERT_TRUE(waitUntil([&] {
        return sway.swayReply("-t get_tree").find(R"("app_id": "floodmark")") != std::string::npos;
    }));
    ASSERT_EQ(sway.swaymsg("'[app_id=floodmark] inhibit_idle open'"), 0);
    TempDirectory home;
    StandInSaver saver(home);
    auto environment = sway.environment();
    environment.push_back(saver.environment());
    RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(), environment);
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(saver.starts().empty()) << "a window holds idleness off";

    ASSERT_EQ(sway.swaymsg("'[app_id=floodmark] inhibit_idle none'"), 0);
    EXPECT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
    EXPECT_EQ(window.stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Debian12And13, WaylandIdleOnSway,
                         testing::Values(IdleSway{WaylandCompositor::Kind::sway, "kde-idle"},
                                         IdleSway{WaylandCompositor::Kind::debian13Sway,
                                                  "ext-idle-notify"}),
                         [](const testing::TestParamInfo<IdleSway>& info) {
                             return info.param.kind == WaylandCompositor::Kind::sway ? "Sway17"
                                                                                     : "Sway110";
                         });

// The test compositor with ext-idle-notify-v1 in a runtime directory of its own; SIGUSR1 is input.
class IdleCompositor {
public:
    explicit IdleCompositor(bool inhibited) {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
            execl(FLOODMARK_TEST_IDLE_COMPOSITOR, FLOODMARK_TEST_IDLE_COMPOSITOR,
                  "wayland-idle-test", inhibited ? "inhibited" : nullptr, nullptr);
            _exit(127);
        }
        ready_ = waitUntil(
            [&] { return fixtures::fileExists(runtime_.file("wayland-idle-test.lock")); });
    }
    ~IdleCompositor() { stop(); }
    bool ready() const { return ready_; }
    std::vector<std::string> environment(const StandInSaver& saver) const {
        return {"XDG_RUNTIME_DIR=" + runtime_.path(), "WAYLAND_DISPLAY=wayland-idle-test",
                saver.environment()};
    }
    void input() const { kill(pid_, SIGUSR1); }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    TempDirectory runtime_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST(WaylandIdle, ExtIdleNotifyStartsAndStopsTheSaverAndAnInhibitedSessionNeverIdles) {
    for (bool inhibited : {false, true}) {
        IdleCompositor compositor(inhibited);
        ASSERT_TRUE(compositor.ready());
        TempDirectory home;
        StandInSaver saver(home);
        RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(),
                               compositor.environment(saver));
        std::string statusPath =
            home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
        ASSERT_TRUE(waitUntil([&] { return WatcherStatus::read(statusPath).has_value(); }));
        EXPECT_EQ(WatcherStatus::read(statusPath)->source, "ext-idle-notify");
        if (inhibited) {
            std::this_thread::sleep_for(3s);
            EXPECT_TRUE(saver.starts().empty()) << "an inhibitor holds idleness off";
        } else {
            ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
            std::this_thread::sleep_for(2s);
            compositor.input();
            EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[0]); }));
            ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 2; })) << "idle again";
        }
        compositor.stop();
        EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
    }
}

// cage counts the saver's window mapping and taking focus as activity: the saver it started
// stays up all the same, where the watcher used to stop it and start another every 2.5 s.
TEST(WaylandIdle, OnCageTheSaversOwnWindowDoesNotEndIt) {
    if (auto why = WaylandCompositor::unavailable(WaylandCompositor::Kind::cage); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandCompositor cage(WaylandCompositor::Kind::cage, {"640x360"});
    ASSERT_TRUE(cage.running());
    TempDirectory home;
    StandInSaver saver(home, std::string("exec ") + FLOODMARK_BINARY + "-saver \"$@\"");
    auto environment = cage.environment();
    environment.push_back(saver.environment());
    RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(), environment);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    std::this_thread::sleep_for(4s);
    EXPECT_EQ(saver.starts().size(), 1u);
    EXPECT_TRUE(processAlive(saver.starts()[0]));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

TEST(WaylandIdle, ACompositorWithoutAnIdleProtocolOrNoneAtAllIsAClearError) {
    TempDirectory home;
    auto run = fixtures::runFloodmark("idle --wayland", home.path());
    EXPECT_EQ(run.status, 2);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_NE(run.lines.back().find("WAYLAND_DISPLAY"), std::string::npos) << run.lines.back();
}

}  // namespace
}  // namespace floodmark
