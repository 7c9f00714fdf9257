#include "platform/headless/HeadlessHost.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

constexpr double t0 = 1'000'000;

// A view that only counts its ticks and asks to be redrawn on each.
class CountingView final : public ScreenSaverView {
public:
    CountingView(Size size, bool preview, std::shared_ptr<ViewServices> services)
        : ScreenSaverView(size, preview, std::move(services)) {
        setAnimationTimeInterval(0.25);
    }
    void animateOneFrame() override { setNeedsDisplay(); }
};

// The surfaces' "may this view draw now?", as a display answers it: view 0's monitors are off
// from t0+1 to t0+3 (asked again each second, as DPMS is), view 1 is seen by no one until the
// test wakes it.
TEST(ViewTicker, AHeldViewIsNeitherTickedNorDrawnAndKeepsNoDebtOfTicks) {
    HeadlessHost host({.simulated = true, .startTime = t0},
                      [](Size size, bool preview, std::shared_ptr<ViewServices> services) {
                          return std::make_shared<CountingView>(size, preview, std::move(services));
                      });
    host.addView({.size = {40, 30}});
    host.addView({.size = {40, 30}});
    std::vector<double> asked;
    bool hidden = true;
    host.setDrawDelay([&](std::size_t index, double now) {
        if (index == 1) {
            return hidden ? ViewSurface::untilWoken : 0.0;
        }
        asked.push_back(now - t0);
        return now - t0 >= 1 && now - t0 < 3 ? 1.0 : 0.0;
    });
    host.startAll();
    host.run(2);
    EXPECT_EQ(host.stats(1).ticks, 0);
    EXPECT_EQ(host.stats(1).pictures, 0);

    hidden = false;
    host.wake(1);  // at t0+2, where the first run ended
    host.run(2);
    // Ticks at 0, ¼, ½, ¾; asked at 1 and 2 and held; then 3, 3¼ … 4: nothing owed for the
    // two seconds off.
    EXPECT_EQ(asked, (std::vector<double>{0, 0.25, 0.5, 0.75, 1, 2, 3, 3.25, 3.5, 3.75, 4}));
    EXPECT_EQ(host.stats(0).ticks, 9);
    EXPECT_EQ(host.stats(0).pictures, 9);
    // Woken at 2: ticks at 2, 2¼ … 4.
    EXPECT_EQ(host.stats(1).ticks, 9);
    EXPECT_EQ(host.stats(1).slowTicks, 9);
    host.stopAll();
    EXPECT_FALSE(host.view(0).isAnimating());
}

}  // namespace
}  // namespace floodmark
