#include "FloodmarkSaver/feed/AwayMessages.h"
#include "FloodmarkSaver/feed/Easing.h"
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "platform/kit/InternetTime.h"
#include "support/FeedSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace floodmark {
namespace {

// Whole seconds near 0 keep ages exact, so the ends of a mark's life can be tested exactly.
constexpr double t0 = 0;

// A feed with nothing to follow: no away-state file, never started.
class Ambient {
public:
    explicit Ambient(bool preview = false)
        : feed(fixtures::isolatedSettings(directory, preview), t0) {}

    fixtures::TempDirectory directory;
    FloodmarkFeed feed;
};

TEST(Easing, RisesAndFallsWithTheirOwnTimeConstants) {
    // One time constant closes 1 − 1/e of the gap.
    EXPECT_NEAR(easeToward(0.07, 1, 0.9, 0.9, 2.4), 0.07 + 0.93 * (1 - std::exp(-1)), 1e-12);
    EXPECT_NEAR(easeToward(1, 0.07, 2.4, 0.9, 2.4), 1 - 0.93 * (1 - std::exp(-1)), 1e-12);
    // Falling over the rise constant's span closes less than rising does.
    EXPECT_GT(easeToward(1, 0.07, 0.9, 0.9, 2.4) - 0.07, 0.93 * std::exp(-1));
    // A target equal to the value eases with the rise constant and stays put.
    EXPECT_EQ(easeToward(0.5, 0.5, 1, 0.9, 2.4), 0.5);
}

TEST(Easing, AClockThatMovedBackMovesNothing) {
    EXPECT_EQ(easingFactor(-5, 0.9), 0);
    EXPECT_EQ(easingFactor(0, 0.9), 0);
    EXPECT_EQ(easeToward(0.07, 1, -30, 0.9, 2.4), 0.07);
    EXPECT_EQ(easingFactor(std::nan(""), 0.9), 0);
}

TEST(FeedStep, TheFirstStepOfAnAmbientFeedSnapsToRest) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    FloodmarkFrame frame = feed.step(t0 + 0.01, true);
    EXPECT_EQ(frame.y, 0.07);
    EXPECT_EQ(frame.x, 0);
    EXPECT_NEAR(frame.time, 0.01, 1e-6);
    EXPECT_FALSE(frame.message);  // 0.07 is not above 0.12
    EXPECT_EQ(frame.severity, -1);
    EXPECT_EQ(frame.style, SaverStyle::standard);
    EXPECT_EQ(frame.chromeAlpha, 1);
    EXPECT_TRUE(frame.reduceMotion);
    EXPECT_FALSE(frame.clock.empty());
    EXPECT_EQ(feed.mode(), FeedMode::ambient);

    // Later steps hold the resting level, even on a clock that jumped back.
    EXPECT_EQ(feed.step(t0 + 1, false).y, 0.07);
    EXPECT_EQ(feed.step(t0 - 100, false).y, 0.07);
}

TEST(FeedStep, RipplesArePlacedByTheSeedAndAgeOutAfterTheirLife) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    feed.spawnImpulse(ImpulseKind::compaction, t0);
    feed.spawnImpulse(ImpulseKind::failure, t0);

    // The first two places of the seed's sequence, worked out apart from the code.
    const std::vector<double> expected{0.1754597502703452, 0.6660226168264688};
    ASSERT_EQ(feed.ripples().size(), 2u);
    EXPECT_EQ(feed.ripples()[0].position, expected[0]);
    EXPECT_EQ(feed.ripples()[1].position, expected[1]);

    // A second feed of the same process places its first ripple at the same place.
    Ambient another;
    FloodmarkFeed& other = another.feed;
    other.spawnImpulse(ImpulseKind::failure, t0 + 50);
    EXPECT_EQ(other.ripples()[0].position, expected[0]);

    FloodmarkFrame atLife = feed.step(t0 + 1.4, false);
    ASSERT_EQ(atLife.ripples.size(), 2u);
    EXPECT_DOUBLE_EQ(atLife.ripples[0].age, 1.0);
    EXPECT_EQ(atLife.ripples[0].position, expected[0]);
    EXPECT_TRUE(feed.step(t0 + 1.41, false).ripples.empty());
    EXPECT_TRUE(feed.ripples().empty());
}

TEST(FeedStep, PopsRiseAtTheSurfaceActivityAndLiveShorter) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    feed.step(t0, false);  // activity rests at 0
    feed.spawnImpulse(ImpulseKind::sessionEnd, t0);
    EXPECT_TRUE(feed.ripples().empty());
    ASSERT_EQ(feed.pops().size(), 1u);
    EXPECT_EQ(feed.pops()[0].position, 0.04);

    FloodmarkFrame half = feed.step(t0 + 0.45, false);
    ASSERT_EQ(half.pops.size(), 1u);
    EXPECT_DOUBLE_EQ(half.pops[0].age, 0.5);
    EXPECT_EQ(feed.step(t0 + 0.9, false).pops.size(), 1u);
    EXPECT_TRUE(feed.step(t0 + 0.91, false).pops.empty());
}

TEST(FeedStep, MarksWithANegativeAgeStayUntilTheyAgeOut) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    feed.spawnImpulse(ImpulseKind::failure, t0 + 10);
    FloodmarkFrame frame = feed.step(t0, false);
    ASSERT_EQ(frame.ripples.size(), 1u);
    EXPECT_LT(frame.ripples[0].age, 0);
}

TEST(FeedStep, AnImpulseIsConsumedOnceAndOnlyShownWhileFresh) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    feed.consumeImpulse(ImpulseKind::failure, t0, t0 + 1);
    feed.consumeImpulse(ImpulseKind::failure, t0, t0 + 1.5);
    EXPECT_EQ(feed.ripples().size(), 1u);

    // A new stamp older than two seconds is marked seen without showing...
    feed.consumeImpulse(ImpulseKind::sessionEnd, t0 + 5, t0 + 7.5);
    EXPECT_TRUE(feed.pops().empty());
    // ...so seeing it again later never shows it either.
    feed.consumeImpulse(ImpulseKind::sessionEnd, t0 + 5, t0 + 5.5);
    EXPECT_TRUE(feed.pops().empty());

    // Exactly two seconds old still shows.
    feed.consumeImpulse(ImpulseKind::sessionEnd, t0 + 8, t0 + 10);
    EXPECT_EQ(feed.pops().size(), 1u);
}

// The companion's away state, stamped `updatedAt`, in the ambient feed's directory.
void writeAwayState(const Ambient& ambient, double updatedAt, const std::string& members) {
    fixtures::writeFile(
        ambient.directory.file("away_state.json"),
        R"({"schema":1,"updatedAt":")" + formatInternetTime(updatedAt) + "\"," + members + "}");
}

TEST(FeedStep, PairedWaterEasesWithItsTimeConstantsCarriesTheCompanionsSceneAndResetsAfter) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    EXPECT_EQ(feed.step(t0, false).y, 0.07);
    writeAwayState(ambient, t0 + 1,
                   R"("y":0.8,"x":0.5,"severity":3,"agents":0.5,"mix":0.25,)"
                   R"("sustain":[0.1,0.2,null,0.4,0.5],"style":"still")");
    // The next arbitration, a second on, pairs the feed; 1.5 s of easing from rest:
    // 0.07 + 0.73 × (1 − e^(−1.5/0.9)) and 0.5 × (1 − e^(−1.5/0.6)).
    FloodmarkFrame frame = feed.step(t0 + 1.5, false);
    EXPECT_EQ(feed.mode(), FeedMode::paired);
    EXPECT_DOUBLE_EQ(frame.y, 0.6621208099285798);
    EXPECT_DOUBLE_EQ(frame.x, 0.4589575006880506);
    EXPECT_EQ(frame.severity, 3);
    EXPECT_EQ(frame.style, SaverStyle::still);
    EXPECT_DOUBLE_EQ(frame.depth, 0.6 * 0.5 + 0.4 * 0.25);
    EXPECT_EQ(frame.sustain, (SustainSeries{0.1, 0.2, std::nullopt, 0.4, 0.5}));

    // The file is read again at most every quarter second.
    writeAwayState(ambient, t0 + 1.6, R"("y":0.8,"x":1,"severity":5)");
    EXPECT_EQ(feed.step(t0 + 1.6, false).severity, 3);
    EXPECT_EQ(feed.step(t0 + 1.75, false).severity, 5);
    // A pop rises where the surface activity stands, never past 0.98 of the width.
    for (double now = t0 + 2; now < t0 + 8; now += 0.5) {
        feed.step(now, false);
    }
    feed.spawnImpulse(ImpulseKind::sessionEnd, t0 + 8);
    EXPECT_EQ(feed.pops().back().position, 0.98);

    // Stale ten seconds after its stamp: the next arbitration leaves paired mode and every
    // part of the companion's scene goes with it.
    frame = feed.step(t0 + 12, false);
    EXPECT_EQ(feed.mode(), FeedMode::ambient);
    EXPECT_EQ(frame.severity, -1);
    EXPECT_EQ(frame.style, SaverStyle::standard);
    EXPECT_EQ(frame.depth, 0);
    EXPECT_EQ(frame.sustain, absentSustain());
}

TEST(FeedStep, APreviewFeedShowsThePreviewNote) {
    Ambient ambient(true);
    FloodmarkFeed& preview = ambient.feed;
    EXPECT_EQ(preview.step(t0, false).message, std::string(AwayMessages::previewNote));
}

TEST(FeedLifecycle, StartAllowsBindingAndStopForbidsIt) {
    Ambient ambient;
    FloodmarkFeed& feed = ambient.feed;
    EXPECT_FALSE(feed.mayBind());
    feed.start();
    EXPECT_TRUE(feed.mayBind());
    feed.stop();
    EXPECT_FALSE(feed.mayBind());
}

TEST(AwayMessages, WorkingTextsRotateEveryMinute) {
    using AwayMessages::line;
    EXPECT_EQ(line(0.5, 0, 0), "AFK. The agents are not.");
    EXPECT_EQ(line(0.5, 0, 59.9), "AFK. The agents are not.");
    EXPECT_EQ(line(0.5, 0, 60), "Gone to lunch. The work hasn't.");
    EXPECT_EQ(line(0.5, 0, 150), "Still cooking.");
    EXPECT_EQ(line(0.5, 0, 200), "Nobody is babysitting this.");
    EXPECT_EQ(line(0.5, 0, 250), "AFK. The agents are not.");
}

TEST(AwayMessages, TimesBeforeTheEpochStillPickAText) {
    using AwayMessages::line;
    EXPECT_EQ(line(0.5, 0, -1), "Nobody is babysitting this.");
    EXPECT_EQ(line(0.5, 0, -61), "Still cooking.");
    EXPECT_EQ(line(0.5, 0, -240), "AFK. The agents are not.");
    EXPECT_TRUE(line(0.5, 0, -1e300).has_value());
    EXPECT_TRUE(line(0.5, 0, std::nan("")).has_value());
}

TEST(AwayMessages, QuietWaterShowsNothingAndWaitingAgentsAlwaysShow) {
    using AwayMessages::line;
    EXPECT_FALSE(line(0.12, 0, 0));
    EXPECT_FALSE(line(std::nan(""), 0, 0));
    EXPECT_TRUE(line(0.1201, 0, 0));
    EXPECT_EQ(line(0, 1, 0), "1 agent is waiting on you.");
    EXPECT_EQ(line(0.9, 12, 0), "12 agents are waiting on you.");
    EXPECT_EQ(AwayMessages::waiting(3), "3 agents are waiting on you.");
    EXPECT_EQ(AwayMessages::waiting(0), "0 agents are waiting on you.");
}

}  // namespace
}  // namespace floodmark
