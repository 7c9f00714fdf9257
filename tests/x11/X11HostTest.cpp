// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>

#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/gl/GpuDevice.h"
#include "platform/kit/MainLoop.h"
#include "platform/x11/X11Host.h"
#include "support/TempDirectory.h"
#include "support/XServer.h"

#include <chrono>
#include <optional>

namespace floodmark {
namespace {

using fixtures::XServer;

std::unique_ptr<X11Host> openHost(const XServer& server, bool sharedMemory = true) {
    GpuDevice::setPolicy(GpuPolicy::off);
    std::string error;
    auto host = X11Host::open({.display = server.name(), .scale = 1, .sharedMemory = sharedMemory},
                              FloodmarkSaverView::make, error);
    EXPECT_TRUE(host) << error;
    return host;
}

bool isCanvas(XServer::Rgb pixel) {
    return pixel.red < 40 && pixel.green < 40 && pixel.blue < 40 && pixel.blue > 0;
}

// The resting water is a lighter band along the bottom, under the dark canvas.
void expectRestingWater(const XServer& server, ::Window window, int width, int height) {
    auto canvas = server.pixel(window, width / 2, height / 3);
    auto water = server.pixel(window, width / 2, height - 3);
    EXPECT_TRUE(isCanvas(canvas)) << canvas.red << "," << canvas.green << "," << canvas.blue;
    EXPECT_GT(water.red + water.green + water.blue, canvas.red + canvas.green + canvas.blue + 30);
}

// A host drawing into a window that the test made, as a screen-saver host makes one.
struct HostInWindow {
    HostInWindow() {
        if (server.running()) {
            window = server.makeWindow(320, 180);
            host = openHost(server);
            std::string error;
            attached = host && host->attach(window, false, error);
        }
    }

    XServer server;
    ::Window window = 0;
    std::unique_ptr<X11Host> host;
    bool attached = false;
};

TEST(X11Host, DrawsIntoAHostsWindowFollowsItsSizeAndRepaintsExposuresWithoutTicking) {
    HostInWindow setup;
    ASSERT_TRUE(setup.attached);
    auto& [server, window, host, attached] = setup;

    MainLoop& loop = MainLoop::main();
    auto resize = loop.after(0.6, [&] {
        XResizeWindow(server.display(), window, 400, 240);
        XSync(server.display(), False);
    });
    auto end = loop.after(1.5, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);

    EXPECT_TRUE(host->sharesMemory(0));
    EXPECT_EQ(host->view(0).bounds(), (Size{400, 240}));
    EXPECT_GT(host->stats(0).ticks, 15);
    EXPECT_GT(host->stats(0).pictures, 1);
    expectRestingWater(server, window, 400, 240);

    // The server forgets the window's pixels: the last picture is put back, the feed untouched.
    XClearArea(server.display(), window, 0, 0, 0, 0, True);
    XSync(server.display(), False);
    EXPECT_EQ(server.pixel(window, 200, 80).blue, 0);
    XSync(host->connection().display(), False);
    auto before = host->stats(0);
    host->processEvents();
    EXPECT_EQ(host->stats(0).repaints, before.repaints + 1);
    EXPECT_EQ(host->stats(0).ticks, before.ticks);
    expectRestingWater(server, window, 400, 240);
}

TEST(X11Host, AHostWindowThatGoesEndsTheRunAndTheFeedKeepsItsCalibration) {
    HostInWindow setup;
    ASSERT_TRUE(setup.attached);
    auto& [server, window, host, attached] = setup;

    bool socketWhileRunning = false;
    MainLoop& loop = MainLoop::main();
    auto destroy = loop.after(0.5, [&] {
        socketWhileRunning = fixtures::fileExists(LiveBus::defaultPath());
        XDestroyWindow(server.display(), window);
        XSync(server.display(), False);
    });
    auto giveUp = loop.after(5, [&] { host->stop(7); });
    EXPECT_EQ(host->run(), 0);

    EXPECT_TRUE(socketWhileRunning);
    EXPECT_FALSE(host->view(0).isAnimating());
    EXPECT_FALSE(fixtures::fileExists(LiveBus::defaultPath()));
    EXPECT_TRUE(fixtures::fileExists(FloodmarkFeed::defaultCalibrationPath()));
}

// DPMS as the host asks it: the monitors are off until the view has waited out a whole
// poll, then on again.
TEST(X11Host, WithTheMonitorsOffTheViewNeitherTicksNorDrawsAndOwesNoTicksOnceOn) {
    XServer server;
    ASSERT_TRUE(server.running());
    ::Window window = server.makeWindow(320, 180);
    using Clock = std::chrono::steady_clock;
    int asked = 0;
    bool powered = false;
    std::optional<Clock::time_point> firstOn;
    auto monitorsPowered = [&](Display*) {
        ++asked;
        if (powered && !firstOn) {
            firstOn = Clock::now();
        }
        return powered;
    };
    GpuDevice::setPolicy(GpuPolicy::off);
    std::string error;
    auto host =
        X11Host::open({.display = server.name(), .scale = 1, .monitorsPowered = monitorsPowered},
                      FloodmarkSaverView::make, error);
    ASSERT_TRUE(host) << error;
    ASSERT_TRUE(host->attach(window, false, error)) << error;

    std::optional<ViewStats> whileOff;
    XServer::Rgb pixelWhileOff{};
    auto watch = MainLoop::main().every(0.05, [&] {
        if (!powered && asked >= 2) {
            whileOff = host->stats(0);
            pixelWhileOff = server.pixel(window, 160, 60);
            powered = true;
        } else if (host->stats(0).ticks >= 10) {
            host->stop();
        }
    });
    auto giveUp = MainLoop::main().after(60, [&] { host->stop(7); });
    EXPECT_EQ(host->run(), 0);

    ASSERT_TRUE(whileOff && firstOn);
    EXPECT_EQ(whileOff->ticks, 0);
    EXPECT_EQ(whileOff->pictures, 0);
    EXPECT_EQ(pixelWhileOff.blue, 0);  // the server's black: nothing drawn
    // On again, the view keeps its beat from then: no burst of the ticks it missed.
    double on = std::chrono::duration<double>(Clock::now() - *firstOn).count();
    EXPECT_LE(host->stats(0).ticks, on / ViewTicker::fastInterval + 2);
    EXPECT_GT(host->stats(0).pictures, 0);
    expectRestingWater(server, window, 320, 180);
}

TEST(X11Host, APreviewNeverBindsTheSocketAndAMissingWindowIsRefused) {
    XServer server;
    ASSERT_TRUE(server.running());
    ::Window window = server.makeWindow(200, 120);
    auto host = openHost(server);
    std::string error;
    EXPECT_FALSE(host->attach(0x1fffff0, false, error));
    EXPECT_NE(error.find("no window 0x1fffff0"), std::string::npos) << error;
    ASSERT_TRUE(host->attach(window, true, error)) << error;

    bool socketSeen = false;
    auto look = MainLoop::main().every(
        0.1, [&] { socketSeen = socketSeen || fixtures::fileExists(LiveBus::defaultPath()); });
    auto end = MainLoop::main().after(1, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);
    EXPECT_TRUE(host->view(0).isPreview());
    EXPECT_GT(host->stats(0).pictures, 0);
    EXPECT_FALSE(socketSeen);
}

TEST(X11Host, WithoutSharedMemoryThePicturesGoOverTheConnection) {
    XServer server("640x480x24", {"-extension", "MIT-SHM"});
    ASSERT_TRUE(server.running());
    auto host = openHost(server);
    host->openOwnWindow({300, 200});
    auto end = MainLoop::main().after(0.8, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);
    EXPECT_FALSE(host->sharesMemory(0));
    expectRestingWater(server, host->windowId(0), 300, 200);
}

TEST(X11Host, FullScreenGivesEveryMonitorAViewOfOneFeedAndFollowsMonitorsThatComeAndGo) {
    XServer server("1280x480x24");
    ASSERT_TRUE(server.running());
    // Xvfb has one monitor; the host is told of two, then of one.
    std::vector<MonitorArea> monitors{{0, 0, 640, 480}, {640, 0, 640, 480}};
    GpuDevice::setPolicy(GpuPolicy::off);
    std::string error;
    auto host = X11Host::open(
        {.display = server.name(), .scale = 1, .monitors = [&](Display*, int) { return monitors; }},
        FloodmarkSaverView::make, error);
    ASSERT_TRUE(host) << error;
    host->coverMonitors();
    ASSERT_EQ(host->viewCount(), 2u);

    // One monitor goes once both views have drawn; the run ends once the view left has ticked
    // on, however slow the machine is.
    std::int64_t viewsCounted = 0;
    std::optional<long long> ticksAtUnplug;
    auto watch = MainLoop::main().every(0.05, [&] {
        if (!ticksAtUnplug && host->stats(0).pictures > 0 && host->stats(1).pictures > 0) {
            viewsCounted = SaverStatus::shared()->record().saverViews;
            ticksAtUnplug = host->stats(0).ticks;
            monitors.pop_back();
            host->followMonitors();
        } else if (ticksAtUnplug && host->stats(0).ticks > *ticksAtUnplug + 5) {
            host->stop();
        }
    });
    EXPECT_EQ(host->run(), 0);

    EXPECT_EQ(viewsCounted, 2);
    ASSERT_EQ(host->viewCount(), 1u);
    EXPECT_EQ(host->view(0).bounds(), (Size{640, 480}));
    expectRestingWater(server, host->windowId(0), 640, 480);
    // The monitor that went took its window along; the feed ends with the last view.
    EXPECT_EQ(SaverStatus::shared()->record().saverViews, 0);
}

}  // namespace
}  // namespace floodmark
