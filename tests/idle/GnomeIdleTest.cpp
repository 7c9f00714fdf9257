#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/RunFloodmark.h"
#include "support/StandInSaver.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

namespace floodmark {
namespace {

using fixtures::processAlive;
using fixtures::RunningFloodmark;
using fixtures::StandInSaver;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using namespace std::chrono_literals;

pid_t spawn(const std::vector<std::string>& command, const std::vector<std::string>& environment,
            int outputTo = -1) {
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto& variable : environment) {
            putenv(const_cast<char*>(variable.c_str()));
        }
        if (outputTo >= 0) {
            dup2(outputTo, STDOUT_FILENO);
        }
        std::vector<char*> words;
        for (const auto& word : command) {
            words.push_back(const_cast<char*>(word.c_str()));
        }
        words.push_back(nullptr);
        execvp(words[0], words.data());
        _exit(127);
    }
    return pid;
}

void end(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

enum class Holding { nothing, inhibitor, lock };

// A session bus of the test's own, with GNOME's idle monitor and session manager standing in;
// for a locked session also logind, the same bus standing for the system bus.
class GnomeSession {
public:
    explicit GnomeSession(Holding holding) {
        int ends[2];
        if (pipe(ends) != 0) {
            return;
        }
        bus_ = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, ends[1]);
        close(ends[1]);
        FILE* output = fdopen(ends[0], "r");
        char line[512] = {};
        if (output == nullptr || std::fgets(line, sizeof line, output) == nullptr) {
            return;
        }
        std::fclose(output);
        address_ = "DBUS_SESSION_BUS_ADDRESS=" + std::string(line, std::strcspn(line, "\n"));
        std::vector<std::string> command{FLOODMARK_TEST_GNOME_STAND_IN, ready_.file("ready")};
        if (holding != Holding::nothing) {
            command.push_back(holding == Holding::inhibitor ? "inhibited" : "locked");
        }
        standIn_ = spawn(command, {address_});
        waitUntil([&] { return fixtures::fileExists(ready_.file("ready")); });
    }
    ~GnomeSession() {
        end(standIn_);
        end(bus_);
    }
    bool ready() const { return fixtures::fileExists(ready_.file("ready")); }
    // No Wayland idle protocol answers, as under Mutter.
    std::vector<std::string> environment(const StandInSaver& saver) const {
        return {address_, "DBUS_SYSTEM_BUS_ADDRESS=" + address_.substr(address_.find('=') + 1),
                "WAYLAND_DISPLAY=no-such-compositor", saver.environment()};
    }
    void input() const { kill(standIn_, SIGUSR1); }
    void endBus() {
        end(standIn_);
        end(bus_);
    }

private:
    TempDirectory ready_;
    pid_t bus_ = -1;
    pid_t standIn_ = -1;
    std::string address_;
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
            EXPECT_TRUE(waitUntil([&] { return !processAlive(saver.starts()[0]); }, 3s));
            ASSERT_TRUE(waitUntil([&] { return saver.starts().size() == 2; })) << "idle again";
        }
        gnome.endBus();
        EXPECT_EQ(watch.waitForExit(5), 0) << "the session bus went: the session is over";
    }
}

}  // namespace
}  // namespace floodmark
