#include <gtest/gtest.h>

#include "platform/system/ReduceMotion.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/XServer.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace floodmark {
namespace {

TEST(ReduceMotion, KdeGlobalsSayReduceOnlyForAZeroAnimationFactorInTheKdeGroup) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("kdeglobals");
    struct Case {
        std::string content;
        std::optional<bool> answer;
    };
    std::vector<Case> cases{
        {"[KDE]\nAnimationDurationFactor=0\n", true},
        {"[General]\nName=x\n\n[KDE]\r\nLookAndFeelPackage=a\r\nAnimationDurationFactor = 0.0\r\n",
         true},
        {"[KDE]\nAnimationDurationFactor=0.5\n", false},
        {"[KDE]\nAnimationDurationFactor=\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactor=fast\n", std::nullopt},
        {"[General]\nAnimationDurationFactor=0\n", std::nullopt},
        {"[KDE]\nSingleClick=false\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& test : cases) {
        fixtures::writeFile(path, test.content);
        EXPECT_EQ(ReduceMotion::readKdeGlobals(path), test.answer) << test.content;
    }
    EXPECT_EQ(ReduceMotion::readKdeGlobals(directory.file("missing")), std::nullopt);
}

TEST(ReduceMotion, DesktopsWithoutASayGiveNoAnswerAndNeverAbort) {
    // No session bus to ask; GSettings schemas that are not installed are looked up, not opened.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    setenv("GSETTINGS_SCHEMA_DIR", "/nonexistent", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    EXPECT_EQ(ReduceMotion::readPortal(), std::nullopt);
    EXPECT_EQ(ReduceMotion::readGnomeReducedMotion(), std::nullopt);
    EXPECT_EQ(ReduceMotion::readGnomeAnimationsOff(), std::nullopt);
}

// Children of this process named dbus-daemon or dbus-launch, with their names.
std::vector<std::pair<pid_t, std::string>> busProcessesBelowUs() {
    std::vector<std::pair<pid_t, std::string>> found;
    DIR* processes = opendir("/proc");
    while (const dirent* entry = processes ? readdir(processes) : nullptr) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.find('(') == std::string::npos)
            continue;
        std::string name = line.substr(line.find('(') + 1, line.rfind(')') - line.find('(') - 1);
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent) == 2 &&
            parent == getpid() && (name == "dbus-daemon" || name == "dbus-launch")) {
            found.emplace_back(std::atoi(entry->d_name), name);
        }
    }
    if (processes)
        closedir(processes);
    return found;
}

// With no session bus, in an X session, no reader has one launched: GLib would autolaunch a
// dbus-launch and a dbus-daemon that outlive the saver until the X server goes.
TEST(ReduceMotion, WithoutASessionBusNoneIsLaunched) {
    fixtures::XServer server("320x200x24");
    ASSERT_TRUE(server.running());
    fixtures::TempDirectory home;
    // Whatever the saver leaves behind becomes ours to see.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    {
        fixtures::RunningFloodmark frames(
            {"frames", "--count", "1", "--simulated"}, home.path(),
            {"DISPLAY=" + server.name(), "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR",
             "GSETTINGS_BACKEND", "GSETTINGS_SCHEMA_DIR"});
        EXPECT_EQ(frames.waitForExit(30), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto left = busProcessesBelowUs();
    for (const auto& [pid, name] : left) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ADD_FAILURE() << name << " " << pid << " was left running";
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

TEST(ReduceMotion, TheFirstAnswerWinsAndIsAskedAtMostOnceASecond) {
    int asked = 0;
    std::optional<bool> gnome;
    ReduceMotionSetting setting({[] { return std::optional<bool>(); },
                                 [&] {
                                     ++asked;
                                     return gnome;
                                 },
                                 [] { return std::optional<bool>(true); }});
    EXPECT_TRUE(setting.value(100));  // only the last reader answers
    gnome = false;
    EXPECT_TRUE(setting.value(100.9));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(setting.value(101));  // a second on, the earlier answer wins
    EXPECT_FALSE(setting.value(50));   // a clock set back asks again
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(ReduceMotion::firstAnswer({}));
}

}  // namespace
}  // namespace floodmark
