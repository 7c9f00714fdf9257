#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "support/FeedSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace floodmark {
namespace {

constexpr double t0 = 1'800'000'000;

// A share whose feeds are made at t0 and counted.
struct CountingShare {
    fixtures::TempDirectory directory;
    int feedsMade = 0;
    std::shared_ptr<SharedFloodmarkFeed> share;

    explicit CountingShare(bool bindsBus = true) {
        share = SharedFloodmarkFeed::make(bindsBus, [this, bindsBus] {
            ++feedsMade;
            return std::make_shared<FloodmarkFeed>(fixtures::isolatedSettings(directory, !bindsBus),
                                                   t0);
        });
    }
};

TEST(FeedLease, LeasesSteppedInTurnShareOneStepPerRound) {
    CountingShare counting;
    auto a = counting.share->acquire();
    auto b = counting.share->acquire();
    EXPECT_EQ(counting.feedsMade, 1);
    EXPECT_EQ(counting.share->holders(), 2);

    // Frame time tells which step produced a frame.
    EXPECT_DOUBLE_EQ(a->step(t0 + 1, false).time, 1);
    EXPECT_DOUBLE_EQ(b->step(t0 + 1.01, false).time, 1);  // reused
    EXPECT_DOUBLE_EQ(a->step(t0 + 2, false).time, 2);
    EXPECT_DOUBLE_EQ(b->step(t0 + 2.01, false).time, 2);  // reused
}

TEST(FeedLease, AFastLeaseDrivesTheFeedAndASlowOneGetsTheNewestFrame) {
    CountingShare counting;
    auto fast = counting.share->acquire();
    auto slow = counting.share->acquire();
    fast->step(t0 + 1, false);
    fast->step(t0 + 2, false);
    EXPECT_DOUBLE_EQ(slow->step(t0 + 2.5, false).time, 2);
    // Having seen the newest frame, the slow lease steps the feed itself next time.
    EXPECT_DOUBLE_EQ(slow->step(t0 + 3, false).time, 3);
}

TEST(FeedLease, ANewLeaseTakesTheCachedFrame) {
    CountingShare counting;
    auto first = counting.share->acquire();
    first->step(t0 + 1, true);
    auto late = counting.share->acquire();
    FloodmarkFrame frame = late->step(t0 + 5, false);
    EXPECT_DOUBLE_EQ(frame.time, 1);
    EXPECT_TRUE(frame.reduceMotion);  // the stepping lease's setting travels with the frame
}

TEST(FeedLease, TheLastReleaseStopsTheFeedAndTheNextAcquireMakesANewOne) {
    CountingShare counting;
    auto a = counting.share->acquire();
    auto b = counting.share->acquire();
    std::shared_ptr<FloodmarkFeed> feed = counting.share->feed();
    EXPECT_TRUE(feed->mayBind());  // started, because the share binds the bus

    a->step(t0 + 1, false);
    a->release();
    a->release();  // a second release changes nothing
    EXPECT_EQ(counting.share->holders(), 1);
    EXPECT_TRUE(feed->mayBind());

    b.reset();  // dropping an unreleased lease releases it
    EXPECT_EQ(counting.share->holders(), 0);
    EXPECT_EQ(counting.share->feed(), nullptr);
    EXPECT_FALSE(feed->mayBind());

    auto c = counting.share->acquire();
    EXPECT_EQ(counting.feedsMade, 2);
    EXPECT_NE(counting.share->feed(), feed);
    EXPECT_DOUBLE_EQ(c->step(t0 + 7, false).time, 7);  // stepped, not the old cached frame
}

TEST(FeedLease, AReleasedLeaseShowsRestWithoutTouchingTheShare) {
    CountingShare counting;
    auto held = counting.share->acquire();
    auto released = counting.share->acquire();
    released->release();
    FloodmarkFrame frame = released->step(t0, false);
    EXPECT_TRUE(released->isReleased());
    EXPECT_EQ(frame.y, FloodmarkFrame::resting().y);
    EXPECT_EQ(counting.share->holders(), 1);
    EXPECT_NE(counting.share->feed(), nullptr);
}

TEST(FeedLease, APreviewShareNeverStartsItsFeed) {
    CountingShare preview(false);
    auto lease = preview.share->acquire();
    EXPECT_FALSE(preview.share->feed()->mayBind());
}

TEST(FeedLease, EachLeaseLaysItsOwnChromeFadeOverTheSharedFrame) {
    CountingShare counting;
    auto shown = counting.share->acquire();
    auto hidden = counting.share->acquire();
    EXPECT_EQ(shown->step(t0, false, true).chromeAlpha, 1);
    EXPECT_EQ(hidden->step(t0, false, false).chromeAlpha, 0);
    EXPECT_EQ(shown->step(t0 + 1, false, true).chromeAlpha, 1);
    EXPECT_EQ(hidden->step(t0 + 1, false, false).chromeAlpha, 0);
}

TEST(ChromeFade, FirstStepSnapsThenEasesWithItsTimeConstant) {
    ChromeFade fade;
    EXPECT_EQ(fade.step(true, t0), 1);
    EXPECT_NEAR(fade.step(false, t0 + 0.1), std::exp(-0.1 / 0.08), 1e-6);

    ChromeFade hiddenFirst;
    EXPECT_EQ(hiddenFirst.step(false, t0), 0);
    EXPECT_NEAR(hiddenFirst.step(true, t0 + 1.0 / 30), 1 - std::exp(-(1.0 / 30) / 0.08), 1e-6);
}

TEST(ChromeFade, HidingFromFullViewFallsBelowInvisibleAfterAboutASecondThird) {
    ChromeFade fade;
    fade.step(true, t0);
    EXPECT_GE(fade.step(false, t0 + 0.36), FloodmarkFrame::chromeInvisibleBelow);
    ChromeFade again;
    again.step(true, t0);
    EXPECT_LT(again.step(false, t0 + 0.37), FloodmarkFrame::chromeInvisibleBelow);
}

TEST(ChromeFade, AClockThatMovedBackHoldsTheAlpha) {
    ChromeFade fade;
    fade.step(true, t0);
    EXPECT_EQ(fade.step(false, t0 - 10), 1);
    EXPECT_NEAR(fade.step(false, t0 - 10 + 0.08), std::exp(-1), 1e-6);
}

}  // namespace
}  // namespace floodmark
