// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/NobodyPlace.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/XServer.h"

#include <cairo.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace floodmark {
namespace {

using fixtures::RunningFloodmark;
using fixtures::stopTimed;
using fixtures::TempDirectory;
using fixtures::XServer;

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
        {"XSCREENSAVER_WINDOW=" + hex(window), {"--root"}, SIGTERM},           // XScreenSaver 6
        {"XSCREENSAVER_WINDOW=" + std::to_string(window), {"-root"}, SIGINT},  // xsecurelock
        {"XSCREENSAVER_WINDOW=" + hex(window), {}, SIGHUP},                    // xfce4, mate
        {"", {"-window-id", std::to_string(window)}, SIGTERM},                 // a settings preview
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
        EXPECT_TRUE(fixtures::waitUntil([&] { return showsCanvas(server, window); }));
        // xsecurelock may send SIGUSR1: the saver goes on.
        kill(saver.pid(), SIGUSR1);
        EXPECT_FALSE(saver.waitForExit(0.2));

        bool preview = test.variable.empty();
        EXPECT_EQ(fixtures::fileExists(home.file(".tolvera/live.sock")), !preview);
        auto [status, seconds] = stopTimed(saver, test.signal);
        EXPECT_EQ(status, 0);
        EXPECT_LT(seconds, 1.0);
        EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
        EXPECT_EQ(fixtures::fileExists(home.file(calibrationFile)), !preview);
    }
}

// The share of channels more than `far` levels apart, and the mean difference, of a capture
// and a PNG of the same size.
struct Difference {
    double mean = 255;
    double farShare = 1;
};

Difference differenceOf(const std::vector<unsigned char>& capture, const std::string& png,
                        int far) {
    Difference difference;
    cairo_surface_t* picture = cairo_image_surface_create_from_png(png.c_str());
    int width = cairo_image_surface_get_width(picture);
    int height = cairo_image_surface_get_height(picture);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS ||
        capture.size() != static_cast<std::size_t>(width) * height * 4) {
        cairo_surface_destroy(picture);
        return difference;
    }
    const unsigned char* data = cairo_image_surface_get_data(picture);
    int stride = cairo_image_surface_get_stride(picture);
    double total = 0;
    long farPixels = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* expected = data + y * stride + x * 4;
            const unsigned char* seen =
                capture.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            int largest = 0;
            for (int channel = 0; channel < 3; ++channel) {
                int delta = std::abs(expected[channel] - seen[channel]);
                total += delta;
                largest = std::max(largest, delta);
            }
            farPixels += largest > far ? 1 : 0;
        }
    }
    cairo_surface_destroy(picture);
    difference.mean = total / (3.0 * width * height);
    difference.farShare = static_cast<double>(farPixels) / (static_cast<double>(width) * height);
    return difference;
}

TEST(SaverCommand, ShowsTheCompanionsWaterAsTheSnapshotDrawsIt) {
    XServer server;
    ASSERT_TRUE(server.running());
    ::Window window = server.makeWindow(640, 360);
    TempDirectory home;
    mkdir(home.file(".tolvera").c_str(), 0700);
    fixtures::writeFile(home.file(".tolvera/away_state.json"),
                        R"({"schema":1,"y":0.6,"x":0,"severity":4,"updatedAt":")" +
                            formatInternetTime(currentTime()) + R"("})");
    RunningFloodmark saver({"--root"}, home.path(),
                           {"DISPLAY=" + server.name(), "XSCREENSAVER_WINDOW=" + hex(window)});
    ASSERT_TRUE(fixtures::waitUntil([&] { return showsCanvas(server, window); }));
    // The chrome fades in over the first moments.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    int width = 0;
    int height = 0;
    auto capture = server.capture(window, width, height);
    EXPECT_EQ(stopTimed(saver, SIGTERM).first, 0);

    // Red-orange water up to 0.6 × 0.92 of the height, the dark canvas above it.
    auto water = server.pixel(window, 60, static_cast<int>(360 * (1 - 0.30)));
    auto air = server.pixel(window, 60, static_cast<int>(360 * (1 - 0.60)));
    EXPECT_GT(water.red, water.green + 15);
    EXPECT_GT(water.green, water.blue);
    EXPECT_LT(std::abs(air.red - air.blue), 12);

    std::string snapshot = home.file("snapshot.png");
    auto run = fixtures::runFloodmark(
        "snapshot --cpu --size 640x360 --y 0.6 --x 0 --severity 4 "
        "--out " +
            snapshot,
        home.path());
    ASSERT_EQ(run.status, 0);
    // The same water; the clock and the message on the screen are all that differ.
    auto difference = differenceOf(capture, snapshot, 24);
    EXPECT_LT(difference.mean, 2.0);
    EXPECT_LT(difference.farShare, 0.03);
}

// A real XScreenSaver 6 with floodmark as its only hack. It launches no hack as root, so it
// runs as nobody, with a home of nobody's and the binary copied where nobody can reach it.
TEST(SaverCommand, RunsAsXScreenSaversHack) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "runs XScreenSaver as user nobody, which needs root";
    }
    XServer server("800x600x24");
    ASSERT_TRUE(server.running());
    TempDirectory place;
    ASSERT_TRUE(fixtures::layOutForNobody(place));
    fixtures::writeFile(place.file("home/.xscreensaver"),
                        "mode: one\nselected: 0\nlock: False\nfade: False\nunfade: False\n"
                        "splash: False\nprograms: floodmark --root\n");
    ASSERT_EQ(std::system(("chown -R 65534:65534 " + place.file("home")).c_str()), 0);
    const std::string asNobody =
        "setpriv --reuid=65534 --regid=65534 --clear-groups env -i HOME=" + place.file("home") +
        " PATH=" + place.file("bin") + ":/usr/bin:/bin DISPLAY=" + server.name() + " ";

    pid_t daemon = fork();
    if (daemon == 0) {
        setpgid(0, 0);
        execl("/bin/sh", "sh", "-c", (asNobody + "xscreensaver -no-splash >/dev/null 2>&1").c_str(),
              nullptr);
        _exit(127);
    }
    auto command = [&](const std::string& action) {
        return std::system(
            (asNobody + "xscreensaver-command " + action + " >/dev/null 2>&1").c_str());
    };
    EXPECT_TRUE(fixtures::waitUntil([&] { return command("-activate") == 0; }));

    // The screen shows the water: the canvas above, the lighter resting water along the bottom.
    ::Window root = DefaultRootWindow(server.display());
    EXPECT_TRUE(fixtures::waitUntil([&] {
        auto canvas = server.pixel(root, 400, 300);
        auto water = server.pixel(root, 400, 597);
        return canvas.blue > 10 && canvas.blue < 45 &&
               water.red + water.green + water.blue > canvas.red + canvas.green + canvas.blue + 30;
    }));

    const std::string calibration = place.file("home/") + calibrationFile;
    EXPECT_FALSE(fixtures::fileExists(calibration));
    EXPECT_EQ(command("-deactivate"), 0);
    // Stopped with SIGTERM, the hack let the socket go and kept what it learned.
    EXPECT_TRUE(fixtures::waitUntil([&] { return fixtures::fileExists(calibration); }));
    EXPECT_TRUE(fixtures::waitUntil(
        [&] { return !fixtures::fileExists(place.file("home/.tolvera/live.sock")); }));

    command("-exit");
    kill(-daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
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
        {{"--bogus"}, "", "not expected: --bogus"},
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
        auto run = fixtures::runFloodmark(arguments, home.path());
        unsetenv("XSCREENSAVER_WINDOW");
        EXPECT_EQ(run.status, 2);
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_NE(run.lines[0].find(test.says), std::string::npos) << run.lines[0];
    }
}

}  // namespace
}  // namespace floodmark
