// The idle watcher's inhibitors on a session bus: the ones it keeps itself under a bare window
// manager, and a desktop's that it asks.
#include <gtest/gtest.h>

#include "idle/IdleWatchFixtures.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>

namespace floodmark {
namespace {

using namespace idletest;
using fixtures::waitUntil;
using namespace std::chrono_literals;

// A player or a desktop on the test's session bus; its ready file's lines.
class ScreenSaverPeer {
public:
    ScreenSaverPeer(const fixtures::SessionBus& bus, std::vector<std::string> role) {
        role.insert(role.begin(), FLOODMARK_TEST_SCREENSAVER_PEER);
        role.push_back(ready_.file("ready"));
        pid_ = fixtures::spawnProcess(role, {bus.variable()});
        waitUntil([&] { return fixtures::fileExists(ready_.file("ready")); });
    }
    ~ScreenSaverPeer() { fixtures::endProcess(pid_); }
    std::vector<std::string> lines() const {
        std::ifstream file(ready_.file("ready"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    void signal(int number) const { kill(pid_, number); }

private:
    TempDirectory ready_;
    pid_t pid_ = -1;
};

// The saver stays off while the watcher says inhibited: long enough for the 1.2 s timeout to
// have started it twice.
void expectHeldOff(const TempDirectory& home, const StandInSaver& saver) {
    ASSERT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::inhibited); }));
    ASSERT_TRUE(waitUntil([&] { return !statusSays(home, &WatcherStatus::saverRunning); }));
    auto before = saver.starts().size();
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(saver.starts().size(), before);
    EXPECT_TRUE(statusSays(home, &WatcherStatus::inhibited));
}

TEST(IdleWatch, OnABareWindowManagerItServesInhibitorsThatEndWithUnInhibitOrTheirCaller) {
    fixtures::SessionBus bus;
    XServer server;
    ASSERT_TRUE(bus.running() && server.running());
    TempDirectory home;
    StandInSaver saver(home);
    auto watch = startWatch(server, home, saver, {}, bus.variable());
    // The name is taken before the watcher writes its status.
    ASSERT_TRUE(waitUntil([&] { return watcherStatus(home).has_value(); }));
    std::string call =
        "gdbus call --session --dest org.freedesktop.ScreenSaver --method "
        "org.freedesktop.ScreenSaver.";
    std::string environment = "DBUS_SESSION_BUS_ADDRESS='" + bus.address() + "' ";
    auto oneShot = fixtures::runCommand(environment + call +
                                        "Inhibit --object-path /ScreenSaver org.example.Tool x");
    EXPECT_EQ(oneShot.lines, std::vector<std::string>{"(uint32 1,)"});
    auto unknown = fixtures::runCommand(
        environment + call + "UnInhibit --object-path /org/freedesktop/ScreenSaver 4000");
    EXPECT_EQ(unknown.lines, std::vector<std::string>{"()"}) << "an unknown cookie is ignored";

    // gdbus left with its reply, and its cookie with it: all 256 are free for the player.
    ScreenSaverPeer player(bus, {"hold", "257"});
    auto cookies = player.lines();
    ASSERT_EQ(cookies.size(), 257u);
    EXPECT_EQ(cookies[0], "2");
    EXPECT_EQ(cookies[255], "257");
    EXPECT_EQ(cookies[256], "org.freedesktop.DBus.Error.LimitsExceeded");
    movePointer(server, 10);
    expectHeldOff(home, saver);
    auto report = fixtures::runFloodmark("status", home.path()).lines;
    EXPECT_NE(std::find(report.begin(), report.end(), "  inhibited: yes"), report.end());

    player.signal(SIGUSR1);
    EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::saverRunning); }))
        << "UnInhibit lets the saver start";
    EXPECT_FALSE(statusSays(home, &WatcherStatus::inhibited));

    ScreenSaverPeer crashing(bus, {"hold", "1"});
    EXPECT_EQ(crashing.lines(), std::vector<std::string>{"258"});
    expectHeldOff(home, saver);
    crashing.signal(SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::saverRunning); }))
        << "a player that left the bus holds nothing";

    // A session bus that restarts finds the watcher serving again.
    ASSERT_TRUE(bus.restart());
    std::vector<std::string> reply;
    EXPECT_TRUE(waitUntil(
        [&] {
            reply = fixtures::runCommand("DBUS_SESSION_BUS_ADDRESS='" + bus.address() + "' " +
                                         call + "Inhibit --object-path /ScreenSaver x y 2>&1")
                        .lines;
            return reply == std::vector<std::string>{"(uint32 1,)"};
        },
        20s))
        << (reply.empty() ? "" : reply[0]);
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

TEST(IdleWatch, UnderADesktopOwningTheScreenSaverItAsksThatDesktopAndTakesOverWhenItLeaves) {
    fixtures::SessionBus bus;
    XServer server;
    ASSERT_TRUE(bus.running() && server.running());
    auto desktop = std::make_unique<ScreenSaverPeer>(bus, std::vector<std::string>{"desktop"});
    TempDirectory home;
    StandInSaver saver(home);
    auto watch = startWatch(server, home, saver, {}, bus.variable());
    expectHeldOff(home, saver);
    desktop.reset();
    EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::saverRunning); }));
    ScreenSaverPeer player(bus, {"hold", "1"});
    EXPECT_EQ(player.lines(), std::vector<std::string>{"1"}) << "the watcher serves the name now";
    expectHeldOff(home, saver);
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace floodmark
