// The idle watcher against GNOME's real compositor: mutter 43 offers no Wayland idle protocol, so
// the watcher falls back to its org.gnome.Mutter.IdleMonitor, and input comes in through mutter's
// remote-desktop service as a remote-desktop tool would send it.
#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/MutterRemoteDesktop.h"
#include "support/RunFloodmark.h"
#include "support/StandInSaver.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace floodmark {
namespace {

using fixtures::MutterRemoteDesktop;
using fixtures::processAlive;
using fixtures::RunningFloodmark;
using fixtures::StandInSaver;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using namespace std::chrono_literals;

std::string statusPath(const TempDirectory& home) {
    return home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
}

TEST(MutterIdle, IdleMonitorStartsTheSaverAndPointerOrKeyInputStopsIt) {
    if (auto why = WaylandCompositor::unavailable(WaylandCompositor::Kind::mutter); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandCompositor mutter(WaylandCompositor::Kind::mutter, {"1024x768"});
    ASSERT_TRUE(mutter.running());
    MutterRemoteDesktop input(mutter.busAddress());
    ASSERT_TRUE(input.started());
    TempDirectory home;
    StandInSaver saver(home);
    auto environment = mutter.environment();
    environment.push_back(saver.environment());
    RunningFloodmark watch({"idle", "--wayland", "--after", "0.02"}, home.path(), environment);

    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return WatcherStatus::read(statusPath(home)).has_value(); }));
    auto status = WatcherStatus::read(statusPath(home));
    EXPECT_EQ(status->source, "gnome-idle-monitor");
    EXPECT_FALSE(status->inhibited) << "mutter alone has no session manager to inhibit";

    ASSERT_TRUE(input.movePointer(12, 8));
    EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[0]); }));
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 2; })) << "idle again";
    ASSERT_TRUE(input.tapKey(KEY_A));
    EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[1]); }));

    mutter.kill();
    EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
}

TEST(MutterIdle, TheSessionManagersIdleInhibitorHoldsTheSaverOff) {
    if (auto why = WaylandCompositor::unavailable(WaylandCompositor::Kind::mutter); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandCompositor mutter(WaylandCompositor::Kind::mutter, {"1024x768"});
    ASSERT_TRUE(mutter.running());
    // Mutter owns the idle monitor; the stand-in only the session manager beside it.
    TempDirectory ready;
    pid_t manager =
        mutter.spawn({FLOODMARK_TEST_GNOME_STAND_IN, ready.file("ready"), "manager-inhibited"});
    ASSERT_TRUE(waitUntil([&] { return fixtures::fileExists(ready.file("ready")); }));
    TempDirectory home;
    StandInSaver saver(home);
    auto environment = mutter.environment();
    environment.push_back(saver.environment());
    // Idle for longer than the timeout already: mutter fires the watch at once.
    std::this_thread::sleep_for(1500ms);
    RunningFloodmark watch({"idle", "--wayland", "--after", "0.02"}, home.path(), environment);

    ASSERT_TRUE(waitUntil([&] {
        auto status = WatcherStatus::read(statusPath(home));
        return status && status->inhibited;
    }));
    EXPECT_EQ(WatcherStatus::read(statusPath(home))->source, "gnome-idle-monitor");
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(saver.starts().empty()) << "an idle inhibitor holds the screen";

    kill(manager, SIGTERM);
    waitpid(manager, nullptr, 0);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }))
        << "the inhibitor went with the session manager";
    mutter.kill();
    EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
    EXPECT_FALSE(processAlive(saver.starts()[0]));
}

}  // namespace
}  // namespace floodmark
