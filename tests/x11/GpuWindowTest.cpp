// Before Xlib, whose macros (None, Status) would break it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/gl/GpuDisplay.h"
#include "platform/kit/InternetTime.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/LeakCheckPause.h"
#include "platform/x11/X11Host.h"
#include "support/TempDirectory.h"
#include "support/XServer.h"

namespace floodmark {
namespace {

using fixtures::XServer;

std::unique_ptr<X11Host> openHost(const XServer& server, double scale) {
    std::string error;
    auto host =
        X11Host::open({.display = server.name(), .scale = scale}, FloodmarkSaverView::make, error);
    EXPECT_TRUE(host) << error;
    return host;
}

void writeAwayState() {
    createDirectories(expandTilde("~/.tolvera"), 0700);
    fixtures::writeFile(expandTilde("~/.tolvera/away_state.json"),
                        R"({"schema":1,"y":0.6,"x":0,"severity":4,"updatedAt":")" +
                            formatInternetTime(currentTime()) + R"("})");
}

// The window's pixels as the X server holds them against Cairo's picture of the view's last
// frame, water and chrome: mean difference per channel, and the share of pixels more than
// 24/255 apart.
std::pair<double, double> differenceFromCairo(const XServer& server, ::Window window,
                                              const FloodmarkSaverView& view, double scale) {
    int width = 0;
    int height = 0;
    auto seen = server.capture(window, width, height);
    CairoCanvas cairo(view.bounds(), scale);
    cairo.draw([&](DrawingContext& context) {
        FloodmarkRenderer::drawScene(view.current(), context, view.bounds());
        FloodmarkRenderer::drawChrome(view.current(), context, view.bounds());
    });
    if (cairo.pixelWidth() != width || cairo.pixelHeight() != height) {
        return {255, 1};
    }
    double total = 0;
    long far = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto expected = cairo.pixel(x, y);
            const unsigned char* pixel =
                seen.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            int channels[3] = {pixel[2], pixel[1], pixel[0]};
            int largest = 0;
            for (int channel = 0; channel < 3; ++channel) {
                int delta = std::abs(channels[channel] - expected[channel]);
                total += delta;
                largest = std::max(largest, delta);
            }
            far += largest > 24 ? 1 : 0;
        }
    }
    double pixels = static_cast<double>(width) * height;
    return {total / (3 * pixels), static_cast<double>(far) / pixels};
}

// Draws the companion's water into a window on the GPU (Mesa's llvmpipe, forced) and compares
// what reached the screen with Cairo's picture of the same frame.
void expectGpuWindowMatchesCairo(double scale) {
    XServer server("1280x720x24");
    ASSERT_TRUE(server.running());
    ::Window window =
        server.makeWindow(static_cast<int>(480 * scale), static_cast<int>(270 * scale));
    writeAwayState();
    auto host = openHost(server, scale);
    std::string error;
    ASSERT_TRUE(host->attach(window, false, error)) << error;
    auto end = MainLoop::main().after(1.5, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);

    auto& view = dynamic_cast<FloodmarkSaverView&>(host->view(0));
    ASSERT_NE(view.gpuView(), nullptr);
    EXPECT_FALSE(view.fellBackToCairo());
    EXPECT_TRUE(view.gpuView()->presentsItself());
    // Straight into the window: nothing read back, nothing composed by the host.
    EXPECT_EQ(view.gpuView()->readBacks(), 0);
    EXPECT_EQ(host->stats(0).pictures, 0);
    EXPECT_EQ(view.gpuView()->drawableWidth(), static_cast<int>(480 * scale));

    auto [mean, farShare] = differenceFromCairo(server, window, view, scale);
    EXPECT_LE(mean, 2.0);
    EXPECT_LT(farShare, 0.005);
}

TEST(GpuWindow, TheGpuPictureOnScreenMatchesCairosAtScaleOne) {
    expectGpuWindowMatchesCairo(1);
}

TEST(GpuWindow, TheGpuPictureOnScreenMatchesCairosAtScaleTwo) {
    expectGpuWindowMatchesCairo(2);
}

TEST(GpuWindow, ADisplayTheGpuCannotDrawOnGetsCairoAndTheStatusSaysWhy) {
    // An 8-bit pseudo-colour screen, as an old host may give: EGL has no config for it.
    XServer server("640x480x8");
    ASSERT_TRUE(server.running());
    ::Window window = server.makeWindow(320, 200);
    auto host = openHost(server, 1);
    std::string error;
    {
        // Mesa loads its driver, finds no config for this screen and unloads it again: what the
        // driver set up once can no longer be named in a leak report.
        [[maybe_unused]] LeakCheckPause pause;
        ASSERT_TRUE(host->attach(window, false, error)) << error;
    }
    auto end = MainLoop::main().after(0.8, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);

    auto& view = dynamic_cast<FloodmarkSaverView&>(host->view(0));
    EXPECT_EQ(view.gpuView(), nullptr);
    EXPECT_GT(host->stats(0).pictures, 0);
    EXPECT_EQ(SaverStatus::shared()->toJson(0)["cairoReason"], "EGL cannot draw on this display");
}

TEST(GpuWindow, AGpuThatPresentsNothingFallsBackAndTheStatusSaysWhy) {
    XServer server("640x480x24");
    ASSERT_TRUE(server.running());
    ::Window window = server.makeWindow(320, 200);
    auto host = openHost(server, 1);
    std::string error;
    ASSERT_TRUE(host->attach(window, false, error)) << error;
    auto& view = dynamic_cast<FloodmarkSaverView&>(host->view(0));
    ASSERT_NE(view.gpuView(), nullptr);
    view.gpuView()->setDrawingSuspended(true);
    auto end = MainLoop::main().after(2.6, [&] { host->stop(); });
    EXPECT_EQ(host->run(), 0);

    EXPECT_TRUE(view.fellBackToCairo());
    EXPECT_GT(host->stats(0).pictures, 0);
    EXPECT_GT(server.pixel(window, 160, 100).blue, 10);
    auto status = SaverStatus::shared()->toJson(0);
    EXPECT_EQ(status["metalFallbacks"], 1);
    EXPECT_EQ(status["cairoReason"], "the GPU presented nothing for 2 s: skipped");
}

TEST(GpuWindow, ASoftwareRasteriserIsNoGpuUnlessForced) {
    auto device = GpuDisplay::offscreen().device();  // the tests force the GPU path
    ASSERT_NE(device, nullptr);
    EXPECT_NE(device->renderer().find("llvmpipe"), std::string::npos) << device->renderer();
    GpuDevice::setPolicy(GpuPolicy::automatic);
    EXPECT_EQ(GpuDisplay::offscreen().device(), nullptr);
    EXPECT_EQ(FloodmarkSaverView::make({320, 200}, false)->gpuView(), nullptr);
    GpuDevice::setPolicy(GpuPolicy::off);
    EXPECT_EQ(GpuDisplay::offscreen().device(), nullptr);
    GpuDevice::setPolicy(GpuPolicy::forced);
    EXPECT_NE(FloodmarkSaverView::make({320, 200}, false)->gpuView(), nullptr);
}

}  // namespace
}  // namespace floodmark
