#include "FloodmarkSaver/feed/AwayMessages.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "FloodmarkSaver/view/FloodmarkChromeView.h"
#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/headless/HeadlessHost.h"
#include "platform/kit/ViewServices.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <stdexcept>

namespace floodmark {
namespace {

constexpr double t0 = 1'800'000'000;

// A simulated host of saver views; the default feed's files and socket lie in the test's home.
class SaverViewTest : public ::testing::Test {
protected:
    SaverViewTest() : host({.simulated = true, .startTime = t0}, FloodmarkSaverView::make) {}

    FloodmarkSaverView& saver(std::size_t index) {
        return static_cast<FloodmarkSaverView&>(host.view(index));
    }
    const SaverStatus::Record& status() { return SaverStatus::shared()->record(); }

    HeadlessHost host;
};

TEST_F(SaverViewTest, StartingTwiceTakesOneLeaseAndCountsOnce) {
    host.addView({.size = {400, 300}});
    host.startAll();
    saver(0).startAnimation();
    EXPECT_EQ(status().saverViews, 1);
    EXPECT_EQ(SharedFloodmarkFeed::host()->holders(), 1);

    saver(0).stopAnimation();
    saver(0).stopAnimation();  // no lease: nothing changes
    EXPECT_EQ(status().saverViews, 0);
    EXPECT_EQ(SharedFloodmarkFeed::host()->holders(), 0);
    EXPECT_FALSE(saver(0).holdsLease());
}

TEST_F(SaverViewTest, DisplayViewsShareAFeedAndAPreviewHasItsOwn) {
    host.addView({.size = {400, 300}});
    host.addView({.size = {400, 300}});
    host.addView({.size = {200, 150}, .preview = true});
    host.startAll();
    EXPECT_EQ(SharedFloodmarkFeed::host()->holders(), 2);
    EXPECT_EQ(status().saverViews, 2);
    EXPECT_EQ(status().previewViews, 1);
    host.run(0.5);
    EXPECT_EQ(saver(2).current().message, std::string(AwayMessages::previewNote));
    EXPECT_NE(saver(0).current().message, std::string(AwayMessages::previewNote));
    EXPECT_EQ(saver(0).current().time, saver(1).current().time);
    host.stopAll();
    EXPECT_EQ(status().saverViews, 0);
    EXPECT_EQ(status().previewViews, 0);
}

TEST_F(SaverViewTest, ARestingViewSlowsDownAndDrawsOnlyWhenTheWaveMoves) {
    host.addView({.size = {1000, 1000}, .scale = 2});
    host.startAll();
    host.run(10);
    const auto& stats = host.stats(0);
    EXPECT_NEAR(stats.ticks, 151, 2);  // 15 ticks a second
    EXPECT_GE(stats.slowTicks, stats.ticks - 2);
    // The wave moves half a pixel about every 0.124 s.
    EXPECT_GE(stats.pictures, 75);
    EXPECT_LE(stats.pictures, 90);
}

TEST_F(SaverViewTest, AViewOutOfItsWindowRetiresAndResumes) {
    host.addView({.size = {400, 300}});
    host.startAll();
    host.run(0.2);
    host.detach(0);
    EXPECT_TRUE(saver(0).isRetired());
    EXPECT_FALSE(saver(0).holdsLease());
    EXPECT_TRUE(saver(0).isWatchingForWindow());
    EXPECT_EQ(status().saverViews, 0);
    host.run(0.2);  // windowless ticks do nothing more
    EXPECT_EQ(status().saverViews, 0);

    host.reattach(0);
    EXPECT_FALSE(saver(0).isRetired());
    EXPECT_TRUE(saver(0).holdsLease());
    EXPECT_FALSE(saver(0).isWatchingForWindow());
    EXPECT_EQ(status().saverViews, 1);
}

TEST_F(SaverViewTest, TheHostStoppingARetiredViewEndsThePoll) {
    host.addView({.size = {400, 300}});
    host.startAll();
    host.detach(0);
    ASSERT_TRUE(saver(0).isWatchingForWindow());
    saver(0).stopAnimation();
    EXPECT_FALSE(saver(0).isWatchingForWindow());
    EXPECT_FALSE(saver(0).isRetired());
    host.reattach(0);  // the host's stop wins: the view stays stopped
    EXPECT_FALSE(saver(0).holdsLease());
}

TEST_F(SaverViewTest, DrawsOnTheGpuAndFallsBackToCairoAfterTwoSecondsOfMisses) {
    host.addView({.size = {400, 300}});
    host.startAll();
    ASSERT_NE(saver(0).gpuView(), nullptr);  // Mesa's llvmpipe is a GPU device here
    host.run(0.5);
    EXPECT_FALSE(saver(0).gpuView()->isHidden());
    EXPECT_EQ(saver(0).gpuView()->drawableWidth(), 400);

    auto missesBefore = status().drawMisses;
    auto fallbacksBefore = status().metalFallbacks;
    saver(0).gpuView()->setDrawingSuspended(true);
    host.run(1.9);
    EXPECT_FALSE(saver(0).fellBackToCairo());
    host.run(0.5);
    EXPECT_TRUE(saver(0).fellBackToCairo());
    EXPECT_TRUE(saver(0).gpuView()->isHidden());
    EXPECT_EQ(status().metalFallbacks, fallbacksBefore + 1);
    EXPECT_GT(status().drawMisses, missesBefore + 1);
    EXPECT_EQ(status().lastDrawMiss, DrawMiss::skipped);

    // From then on Cairo draws, and the watch is not asked again.
    auto misses = status().drawMisses;
    long long pictures = host.stats(0).pictures;
    host.run(2);
    EXPECT_EQ(status().metalFallbacks, fallbacksBefore + 1);
    EXPECT_EQ(status().drawMisses, misses);
    EXPECT_GT(host.stats(0).pictures, pictures);

    // A new start gives the GPU another chance.
    saver(0).gpuView()->setDrawingSuspended(false);
    saver(0).stopAnimation();
    saver(0).startAnimation();
    EXPECT_FALSE(saver(0).fellBackToCairo());
    EXPECT_FALSE(saver(0).gpuView()->isHidden());
}

TEST_F(SaverViewTest, AViewThatNeverHadAWindowKeepsRunning) {
    auto view = FloodmarkSaverView::make({300, 200}, false);
    view->startAnimation();
    view->animateOneFrame();
    view->animateOneFrame();
    EXPECT_FALSE(view->isRetired());
    EXPECT_TRUE(view->holdsLease());
    view->stopAnimation();
}

TEST(SaverViewInterval, FastOnlyWhileSomethingMovesByAPixel) {
    using View = FloodmarkSaverView;
    Size size{1000, 1000};
    FloodmarkFrame previous = FloodmarkFrame::resting();
    FloodmarkFrame next = previous;
    next.y += 0.0005;  // 0.92 pixel at scale 2
    EXPECT_EQ(View::intervalFor(previous, next, size, 2), View::slowInterval);
    next.y = previous.y + 0.0006;  // 1.104 pixels
    EXPECT_EQ(View::intervalFor(previous, next, size, 2), View::fastInterval);
    FloodmarkFrame popped = previous;
    popped.pops = {{0.5, 0.5}};
    EXPECT_EQ(View::intervalFor(previous, popped, size, 2), View::fastInterval);
    FloodmarkFrame lit = previous;
    lit.x = 0.001;  // 2 pixels of the lit run
    EXPECT_EQ(View::intervalFor(previous, lit, size, 2), View::fastInterval);
    FloodmarkFrame calm = previous;
    calm.style = SaverStyle::bloom;
    EXPECT_EQ(View::intervalFor(previous, calm, size, 2), View::fastInterval);
}

FloodmarkFrame chromeFrame(double alpha) {
    FloodmarkFrame frame = FloodmarkFrame::resting();
    frame.clock = "2:47";
    frame.message = "Still cooking.";
    frame.chromeAlpha = alpha;
    return frame;
}

TEST(ChromeView, RepaintsOnlyWhenWhatItShowsChanges) {
    FloodmarkChromeView chrome({400, 300});
    auto repainted = [&](const FloodmarkFrame& frame) {
        chrome.show(frame);
        bool marked = chrome.needsDisplay();
        chrome.layer(1);  // the host draws it, which clears the mark
        return marked;
    };
    EXPECT_TRUE(repainted(chromeFrame(0.5)));
    FloodmarkFrame moved = chromeFrame(0.5);
    moved.y = 0.9;
    moved.time = 50;
    EXPECT_FALSE(repainted(moved));
    EXPECT_FALSE(repainted(chromeFrame(0.507)));
    EXPECT_TRUE(repainted(chromeFrame(0.509)));
    FloodmarkFrame later = chromeFrame(0.509);
    later.clock = "2:48";
    EXPECT_TRUE(repainted(later));
    later.message.reset();
    EXPECT_TRUE(repainted(later));
    later.style = SaverStyle::still;
    EXPECT_TRUE(repainted(later));
    EXPECT_FALSE(repainted(later));
    chrome.setFrameSize({500, 300});
    EXPECT_TRUE(chrome.needsDisplay());
}

TEST(ChromeView, StepsAndPointerEvents) {
    EXPECT_EQ(FloodmarkChromeView::chromeStep(0.5), 32);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(1.3), 64);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(-0.2), 0);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(0), 0);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(0.005), 0);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(1.0 / 64), 1);
    EXPECT_EQ(FloodmarkChromeView::chromeStep(std::nan("")), 0);
    FloodmarkChromeView chrome({400, 300});
    EXPECT_EQ(chrome.hitTest({10, 10}), nullptr);

    View parent({400, 300});
    auto overlay = std::make_shared<FloodmarkChromeView>(Size{400, 300});
    parent.addSubview(overlay);
    EXPECT_EQ(parent.hitTest({10, 10}), &parent);  // clicks pass through to the view beneath
}

// Services whose clock fails, as a broken system call might.
class FailingClock final : public ViewServices {
public:
    double now() override { throw std::runtime_error("no clock"); }
    double secondsSinceLastInput() override { return 3600; }
    bool reduceMotion() override { return false; }
    bool readScreenLocked() override { return false; }
};

TEST(SaverViewShield, AnExceptionInAHostCallIsCountedAndNeverReachesTheHost) {
    fixtures::TempDirectory directory;
    auto status = std::make_shared<SaverStatus>(directory.file("status"), 42);
    SaverStatus::install(status);
    auto view = FloodmarkSaverView::make({320, 200}, false);
    view->setServices(std::make_shared<FailingClock>());
    EXPECT_NO_THROW(view->startAnimation());
    EXPECT_NO_THROW(view->animateOneFrame());
    EXPECT_NO_THROW(view->animateOneFrame());
    EXPECT_NO_THROW(view->stopAnimation());
    EXPECT_GE(status->record().caughtExceptions, 3);
    EXPECT_EQ(status->toJson(0)["caughtExceptions"], status->record().caughtExceptions);
}

}  // namespace
}  // namespace floodmark
