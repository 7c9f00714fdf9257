#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <fstream>

namespace floodmark {
namespace {

using fixtures::RunningFloodmark;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using namespace std::chrono_literals;

bool alive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// sway 1.7 offers KDE's idle protocol: its timeout starts the saver, pointer motion stops it, and
// the watcher ends with the compositor.
TEST(WaylandIdle, KdeIdleOnHeadlessSwayStartsAndStopsTheSaver) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    std::string saver = home.file("stand-in");
    fixtures::writeFile(
        saver, "#!/bin/sh\necho $$ \"$@\" >> '" + home.file("starts") + "'\nexec sleep 60\n");
    chmod(saver.c_str(), 0755);
    auto starts = [&] {
        std::ifstream file(home.file("starts"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    };
    // The compositor's environment names WAYLAND_SOCKET empty, which means unset.
    auto environment = sway.environment();
    environment.push_back("FLOODMARK_SAVER_PROGRAM=" + saver);
    RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(), environment);
    ASSERT_TRUE(waitUntil([&] { return starts().size() == 1; }));
    int pid = std::stoi(starts()[0]);
    EXPECT_EQ(starts()[0], std::to_string(pid))
        << "on Wayland the saver covers every output by itself";
    auto status = WatcherStatus::read(home.path() + "/.local/state/TolveraFloodmarkSaver/status/" +
                                      WatcherStatus::fileName);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->source, "kde-idle");

    ASSERT_EQ(sway.swaymsg("seat seat0 cursor move 20 10"), 0);
    EXPECT_TRUE(waitUntil([&] { return !alive(pid); }, 3s));
    ASSERT_TRUE(waitUntil([&] { return starts().size() == 2; })) << "idle again";

    sway.kill();
    EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
    EXPECT_FALSE(alive(std::stoi(starts()[1])));
}

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
    std::vector<std::string> environment(const std::string& saver) const {
        return {"XDG_RUNTIME_DIR=" + runtime_.path(), "WAYLAND_DISPLAY=wayland-idle-test",
                "FLOODMARK_SAVER_PROGRAM=" + saver};
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
        std::string saver = home.file("stand-in");
        fixtures::writeFile(saver,
                            "#!/bin/sh\necho $$ >> '" + home.file("starts") + "'\nexec sleep 60\n");
        chmod(saver.c_str(), 0755);
        auto starts = [&] {
            std::ifstream file(home.file("starts"));
            std::vector<int> pids;
            for (int pid = 0; file >> pid;) {
                pids.push_back(pid);
            }
            return pids;
        };
        RunningFloodmark watch({"idle", "--after", "0.02"}, home.path(),
                               compositor.environment(saver));
        std::string statusPath =
            home.path() + "/.local/state/TolveraFloodmarkSaver/status/" + WatcherStatus::fileName;
        ASSERT_TRUE(waitUntil([&] { return WatcherStatus::read(statusPath).has_value(); }));
        EXPECT_EQ(WatcherStatus::read(statusPath)->source, "ext-idle-notify");
        if (inhibited) {
            std::this_thread::sleep_for(3s);
            EXPECT_TRUE(starts().empty()) << "an inhibitor holds idleness off";
        } else {
            ASSERT_TRUE(waitUntil([&] { return starts().size() == 1; }));
            compositor.input();
            EXPECT_TRUE(waitUntil([&] { return !alive(starts()[0]); }, 3s));
            ASSERT_TRUE(waitUntil([&] { return starts().size() == 2; })) << "idle again";
        }
        compositor.stop();
        EXPECT_EQ(watch.waitForExit(5), 0) << "the session is over";
    }
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
