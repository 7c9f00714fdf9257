// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/XServer.h"

#include <cairo.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstring>

namespace floodmark {
namespace {

using testing::RunningFloodmark;
using testing::TempDirectory;
using testing::XServer;

const char* const calibrationFile = ".local/state/TolveraFloodmarkSaver/calibration.json";

std::string hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

// Whether the saver has put a picture on the window: its top left is the canvas, not the
// black the window was made with.
bool showsCanvas(const XServer& server, ::Window window) {
    return server.pixel(window, 2, 2).blue > 10;
}

// Ends the saver with `signal` and gives its exit status and how long it took.
std::pair<int, double> stopTimed(RunningFloodmark& saver, int signal) {
    auto start = std::chrono::steady_clock::now();
    kill(saver.pid(), signal);
    auto status = saver.waitForExit(5);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {status.value_or(-2), seconds};
}

TEST(SaverCommand, DrawsIntoTheWindowTheHostNamesInHexOrDecimalAndEndsPromptlyOnSignals) {
    XServer server;
    ASSERT_TRUE(server.running());
    struct Case {
        std::string variable;  // empty: the window comes as --window-id
        std::vector<std::string> arguments;
        int signal;
    };
    ::Window window = server.makeWindow(320, 200);
    std::vector<Case> cases{
        {"XSCREENSAVER_WINDOW=" + hex(window), {"--root"}, SIGTERM},      // XScreenSaver 6
        {"XSCREENSAVER_WINDOW=" + std::to_string(window), {"-root"}, SIGINT},  // xsecurelock
        {"XSCREENSAVER_WINDOW=" + hex(window), {}, SIGHUP},              // xfce4, mate
        {"", {"-window-id", std::to_string(window)}, SIGTERM},         // a settings preview
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.variable + " " + (test.arguments.empty() ? "" : test.arguments[0]));
        XClearWindow(server.display(), window);
        XSync(server.display(), False);
        TempDirectory home;
        std::vector<std::string> environment{"DISPLAY=" + server.name()};
        if (!test.variable.empty()) {
            environment.push_back(test.variable);
        }
        RunningFloodmark saver(test.arguments, home.path(), environment);
        EXPECT_TRUE(testing::waitUntil([&] { return showsCanvas(server, window); }));
        // xsecurelock may send SIGUSR1: the saver goes on.
        kill(saver.pid(), SIGUSR1);
        EXPECT_FALSE(saver.waitForExit(0.2));

        bool preview = test.variable.empty();
        EXPECT_EQ(testing::fileExists(home.file(".tolvera/live.sock")), !preview);
        auto [status, seconds] = stopTimed(saver, test.signal);
        EXPECT_EQ(status, 0);
        EXPECT_LT(seconds, 1.0);
        EXPECT_FALSE(testing::fileExists(home.file(".tolvera/live.sock")));
        EXPECT_EQ(testing::fileExists(home.file(calibrationFile)), !preview);
    }
}

TEST(SaverCommand, AWindowThatIsNotThereOrNoWindowIdIsAnError) {
    XServer server;
    ASSERT_TRUE(server.running());
    TempDirectory home;
    struct Case {
        std::vector<std::string> arguments;
        std::string variable;
        std::string says;
    };
    std::vector<Case> cases{
        {{"--window-id", "0x1fffff0"}, "", "no window 0x1fffff0"},
        {{}, "33554416", "no window 0x1fffff0"},
        {{}, "0xnope", "not a window id"},
        {{"--window-id", "12abc"}, "", "--window-id wants a window id"},
        {{"--window-id", "0"}, "", "--window-id wants a window id"},
        {{"--geometry", "0x600"}, "", "--geometry wants WxH"},
        {{"--bogus"}, "", "unknown option '--bogus'"},
    };
    setenv("DISPLAY", server.name().c_str(), 1);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.says);
        if (!test.variable.empty()) {
            setenv("XSCREENSAVER_WINDOW", test.variable.c_str(), 1);
        }
        std::string arguments;
        for (const auto& argument : test.arguments) {
            arguments += " " + argument;
        }
        auto run = testing::runFloodmark(arguments, home.path());
        unsetenv("XSCREENSAVER_WINDOW");
        EXPECT_EQ(run.status, 2);
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_NE(run.lines[0].find(test.says), std::string::npos) << run.lines[0];
    }
}

}  // namespace
}  // namespace floodmark
