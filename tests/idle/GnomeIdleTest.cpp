// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/RunFloodmark.h"
#include "support/SessionBus.h"
#include "support/StandInSaver.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/XServer.h"

#include <unistd.h>

#include <csignal>
#include <thread>

namespace floodmark {
namespace {

using fixtures::processAlive;
using fixtures::RunningFloodmark;
using fixtures::StandInSaver;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::XServer;
using namespace std::chrono_literals;

enum class Holding { nothing, inhibitor, lock };

// A session bus of the test's own, with GNOME's idle monitor and session manager standing in;
// for a locked session also logind, the same bus standing for the system bus.
class GnomeSession {
public:
    explicit GnomeSession(Holding holding) {
        if (!bus_.running()) {
            return;
        }
        std::vector<std::string> command{FLOODMARK_TEST_GNOME_STAND_IN, ready_.file("ready")};
        if (holding != Holding::nothing) {
            command.push_back(holding == Holding::inhibitor ? "inhibited" : "locked");
        }
        standIn_ = fixtures::spawnProcess(command, {bus_.variable()});
        waitUntil([&] { return fixtures::fileExists(ready_.file("ready")); });
    }
    ~GnomeSession() { fixtures::endProcess(standIn_); }
    bool ready() const { return fixtures::fileExists(ready_.file("ready")); }
    // No Wayland idle protocol answers, as under Mutter.
    std::vector<std::string> environment(const StandInSaver& saver) const {
        return {bus_.variable(), "DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address(),
                "WAYLAND_DISPLAY=no-such-compositor", saver.environment()};
    }
    void input() const { kill(standIn_, SIGUSR1); }
    void endBus() {
        fixtures::endProcess(standIn_);
        bus_.end();
    }

private:
    fixtures::SessionBus bus_;
    TempDirectory ready_;
    pid_t standIn_ = -1;
};

TEST(GnomeIdle, TheIdleMonitorStartsAndStopsTheSaverAndAnInhibitorOrALockHoldsItOff) {
    for (Holding holding : {Holding::nothing, Holding::inhibitor, Holding::lock}) {
        GnomeSession gnome(holding);
        ASSERT_TRUE(gnome.ready());
        TempDirectory home;
        StandInSaver saver(home);
        std::string statusPath =
            home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
        RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(), gnome.environment(saver));
        ASSERT_TRUE(waitUntil([&] { return WatcherStatus::read(statusPath).has_value(); }));
        EXPECT_EQ(WatcherStatus::read(statusPath)->source, "gnome-idle-monitor");
        if (holding != Holding::nothing) {
            std::this_thread::sleep_for(3s);
            EXPECT_TRUE(saver.starts().empty()) << "an inhibitor or the locker holds the screen";
            auto status = WatcherStatus::read(statusPath);
            ASSERT_TRUE(status);
            EXPECT_EQ(status->inhibited, holding == Holding::inhibitor);
            EXPECT_EQ(status->locked, holding == Holding::lock);
        } else {
            ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
            gnome.input();
            EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[0]); }));
            ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 2; })) << "idle again";
        }
        gnome.endBus();
        EXPECT_EQ(watch.waitForExit(5), 0) << "the session bus went: the session is over";
    }
}

// The X server tells idleness at the first look, so a watcher started in a session already idle
// and locked sees both in its first step: it must ask about the lock before it starts a saver,
// or one flashes over the locker.
TEST(GnomeIdle, AWatcherStartedInAnIdleLockedSessionStartsNoSaverEvenForAMoment) {
    GnomeSession logind(Holding::lock);
    ASSERT_TRUE(logind.ready());
    XServer server;
    ASSERT_TRUE(server.running());
    std::this_thread::sleep_for(1500ms);  // longer than the timeout without input
    TempDirectory home;
    StandInSaver saver(home);
    auto environment = logind.environment(saver);
    environment.push_back("DISPLAY=" + server.name());
    RunningFloodmark watch({"idle", "--x11", "--after", "0.02"}, home.path(), environment);
    std::string statusPath =
        home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
    ASSERT_TRUE(waitUntil([&] {
        auto status = WatcherStatus::read(statusPath);
        return status && status->locked;
    }));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(saver.starts().empty());
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace floodmark
