// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "idle/IdleWatchFixtures.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

namespace floodmark {
namespace {

using namespace idletest;
using fixtures::processAlive;
using fixtures::waitUntil;
using namespace std::chrono_literals;

TEST(IdleWatch, StartsTheSaverWhenIdleAndStopsItAtInput) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    StandInSaver saver(home);
    movePointer(server, 10);
    auto watch = startWatch(server, home, saver, {"--", "--cpu"});
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    int pid = saver.starts()[0];
    EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::saverRunning); }));
    auto status = watcherStatus(home);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->source, "x11");
    EXPECT_DOUBLE_EQ(status->timeoutSeconds, 1.2);
    EXPECT_EQ(status->pid, watch.pid());
    EXPECT_EQ(saver.arguments(), std::vector<std::string>{"--fullscreen --cpu"});
    auto report = fixtures::runFloodmark("status", home.path()).lines;
    for (const std::string& line :
         {"idle watcher " + std::to_string(watch.pid()) + ": running", std::string("  source: x11"),
          std::string("  timeout: 1.2 s"), std::string("  saver running: yes")}) {
        EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << line;
    }

    movePointer(server, 200);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(pid); }));
    EXPECT_TRUE(waitUntil([&] { return !statusSays(home, &WatcherStatus::saverRunning); }));
    // Idle again: a fresh saver.
    EXPECT_TRUE(waitUntil([&] { return saver.starts().size() == 2; }));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
    EXPECT_FALSE(processAlive(saver.starts()[1]));
    EXPECT_FALSE(watcherStatus(home)) << "the watcher removes its status file";
}

// systemd restarts a watcher that died; the saver of the dead one must not stay behind it.
TEST(IdleWatch, AWatcherKilledOutrightTakesItsSaverWithIt) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    StandInSaver saver(home);
    movePointer(server, 10);
    auto watch = startWatch(server, home, saver);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    EXPECT_EQ(watch.stop(SIGKILL), -1);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[0]); }));
}

// The exit status of a shell command whose standard error is a pipe already closed at its
// other end; -1 when a signal ended it.
int exitStatusWithoutReader(const std::string& command) {
    pid_t child = fork();
    if (child == 0) {
        int ends[2];
        if (pipe(ends) != 0) {
            _exit(126);
        }
        close(ends[0]);
        dup2(ends[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One enabled as a service and one started by hand: the second says so and ends with 0, so that
// systemd's Restart= does not start it again; the first keeps its saver and its status file.
TEST(IdleWatch, ASecondWatcherOfTheSessionSaysSoAndEnds) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    StandInSaver saver(home);
    movePointer(server, 10);
    auto first = startWatch(server, home, saver);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));

    // Bounded, so that a second watcher that stays fails the test instead of hanging it.
    auto second = fixtures::runFloodmark("idle --x11 --after 0.02", home.path(),
                                         "timeout 300 env DISPLAY=" + server.name() + " '" +
                                             saver.environment() + "' " + noSessionBus);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.lines,
              std::vector<std::string>{"floodmark idle: watcher " + std::to_string(first.pid()) +
                                       " already watches this session; this one ends"});
    // A journal that went away leaves standard error a pipe nobody reads: still status 0.
    EXPECT_EQ(exitStatusWithoutReader("env HOME='" + home.path() +
                                      "' XDG_STATE_HOME= timeout 300 env DISPLAY=" + server.name() +
                                      " '" + saver.environment() + "' " + noSessionBus + " " +
                                      FLOODMARK_BINARY + " idle --x11 --after 0.02"),
              0);
    auto status = watcherStatus(home);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->pid, first.pid());
    EXPECT_EQ(saver.starts().size(), 1u);
}

// The saver's own status files: one per process, named by its pid.
std::vector<int> saverStatusFiles(const TempDirectory& home) {
    std::vector<int> pids;
    if (DIR* listing = opendir((home.path() + statusDirectory).c_str())) {
        while (const dirent* entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name.ends_with(".json") && std::isdigit(static_cast<unsigned char>(name[0]))) {
                pids.push_back(std::stoi(name));
            }
        }
        closedir(listing);
    }
    return pids;
}

TEST(IdleWatch, TheRealSaverCoversTheScreenWhileIdleAndGoesAtInput) {
    XServer server({"1280x720x24"}, {"-br"});
    ASSERT_TRUE(server.running());
    ::Window root = DefaultRootWindow(server.display());
    ASSERT_LE(server.pixel(root, 2, 2).blue, 10) << "a black screen before the saver";
    TempDirectory home;
    movePointer(server, 10);
    RunningFloodmark watch({"idle", "--x11", "--after", "0.02", "--", "--cpu"}, home.path(),
                           {"DISPLAY=" + server.name()});
    ASSERT_TRUE(waitUntil([&] { return !saverStatusFiles(home).empty(); }));
    int saver = saverStatusFiles(home)[0];
    EXPECT_NE(saver, watch.pid());
    // The water's dark blue canvas over the black of the bare screen.
    EXPECT_TRUE(waitUntil([&] { return server.pixel(root, 2, 2).blue > 10; }));
    movePointer(server, 300);
    EXPECT_TRUE(waitUntil([&] { return !processAlive(saver); }));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

// A saver that floods its standard error reaches the watcher's (the journal) only up to the
// cap, with a note that the rest was left out.
TEST(IdleWatch, PassesOnASaversMessagesOnlyUpToACap) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    StandInSaver saver(home, "head -c 4000000 /dev/zero | tr '\\0' x >&2\necho > '" +
                                 home.file("flooded") + "'\nexec sleep 60");
    movePointer(server, 10);
    const std::string log = home.file("watcher.log");
    int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_t watch = fixtures::spawnProcess(
        {"sh", "-c", "exec \"$0\" idle --x11 --after 0.02 2>&1", FLOODMARK_BINARY},
        {"HOME=" + home.path(), "XDG_STATE_HOME=", "DISPLAY=" + server.name(), saver.environment(),
         noSessionBus},
        output);
    close(output);
    EXPECT_TRUE(waitUntil([&] { return fixtures::fileExists(home.file("flooded")); }, 60s));
    fixtures::endProcess(watch);
    std::ifstream file(log);
    std::string text(std::istreambuf_iterator<char>(file), {});
    EXPECT_LE(text.size(), (64u << 10) + 200);
    EXPECT_NE(text.find("\nfloodmark idle: the saver's messages pass at most 64 KiB every 60 s; "
                        "the rest is left out\n"),
              std::string::npos);
}

TEST(IdleWatch, KillsASaverThatIgnoresTermAfterItsGrace) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    StandInSaver saver(home, "trap '' TERM\nwhile :; do sleep 0.1; done");
    movePointer(server, 10);
    auto watch = startWatch(server, home, saver);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    int pid = saver.starts()[0];
    movePointer(server, 200);
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(processAlive(pid)) << "still in its grace";
    EXPECT_TRUE(waitUntil([&] { return !processAlive(pid); }));
    watch.stop(SIGTERM);
}

TEST(IdleWatch, ASaverThatEndsByItselfWaitsForActivityAndThreeCrashesGiveUp) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    // The first run is killed from outside; the next ones fail at once.
    StandInSaver saver(
        home, "[ $(wc -l < '" + home.file("starts") + "') -gt 1 ] && exit 3\nexec sleep 60");
    movePointer(server, 10);
    auto watch = startWatch(server, home, saver);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    kill(saver.starts()[0], SIGKILL);
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(saver.starts().size(), 1u) << "not restarted while the session stays idle";
    EXPECT_FALSE(statusSays(home, &WatcherStatus::saverRunning));

    for (std::size_t crash = 2; crash <= 3; ++crash) {
        movePointer(server, static_cast<int>(100 * crash));
        ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == crash; })) << crash;
        // Input before the watcher saw the failure would stop the saver instead.
        int pid = saver.starts().back();
        ASSERT_TRUE(waitUntil([&] { return !processAlive(pid); }));
        std::this_thread::sleep_for(500ms);
    }
    // The kill and two failures: three crashes within ten minutes.
    EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::gaveUp); }));
    movePointer(server, 700);
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(saver.starts().size(), 3u) << "given up for the session";
    watch.stop(SIGTERM);
}

// A program of this name that sleeps a while, started as this user or as nobody.
pid_t runProgramNamed(const TempDirectory& place, const std::string& name, bool asNobody,
                      const char* seconds = "60") {
    chmod(place.path().c_str(), 0755);
    std::string copy = place.file(name);
    std::filesystem::copy_file("/bin/sleep", copy);
    chmod(copy.c_str(), 0755);
    pid_t pid = fork();
    if (pid == 0) {
        if (asNobody) {
            execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                  copy.c_str(), seconds, nullptr);
        }
        execl(copy.c_str(), name.c_str(), seconds, nullptr);
        _exit(127);
    }
    return pid;
}

// The state letter of /proc/PID/stat: 'Z' for a zombie.
char processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto end = line.rfind(')');
    return end == std::string::npos || end + 2 >= line.size() ? '?' : line[end + 2];
}

// swaylock and its kin own the screen through ext-session-lock or a grab without telling logind:
// a locker of this user holds the saver off; another user's, one that exited but was never
// reaped, or a program merely named alike, does not.
TEST(IdleWatch, AScreenLockerOfThisUserHoldsTheSaverOff) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    TempDirectory lockers;
    StandInSaver saver(home);
    pid_t othersLocker = runProgramNamed(lockers, "i3lock", true);
    pid_t lookAlike = runProgramNamed(lockers, "swaylockd", false);
    pid_t zombie = runProgramNamed(lockers, "xsecurelock", false, "0");
    ASSERT_TRUE(waitUntil([&] { return processState(zombie) == 'Z'; }));
    movePointer(server, 10);
    auto watch = startWatch(server, home, saver);
    ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 1; }));
    EXPECT_FALSE(statusSays(home, &WatcherStatus::locked));

    // KDE's greeter is its lock screen: its name is cut to the kernel's 15 bytes.
    std::size_t started = 1;
    for (const char* name : {"swaylock", "kscreenlocker_greet"}) {
        pid_t locker = runProgramNamed(lockers, name, false);
        movePointer(server, static_cast<int>(100 + 100 * started));
        EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts().back()); })) << name;
        EXPECT_TRUE(waitUntil([&] { return statusSays(home, &WatcherStatus::locked); })) << name;
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(saver.starts().size(), started)
            << name << ": idle, but the locker owns the screen";

        fixtures::endProcess(locker);
        ++started;
        EXPECT_TRUE(waitUntil([&] { return saver.starts().size() == started; }))
            << name << ": unlocked while idle";
    }
    EXPECT_EQ(watch.stop(SIGTERM), 0);
    fixtures::endProcess(othersLocker);
    fixtures::endProcess(lookAlike);
    waitpid(zombie, nullptr, 0);
}

}  // namespace
}  // namespace floodmark
