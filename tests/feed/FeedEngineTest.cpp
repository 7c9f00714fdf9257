#include "feed/FeedEngineFixture.h"

#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "support/SocketClient.h"

#include <filesystem>
#include <fstream>

namespace floodmark {
namespace {

using fixtures::fileExists;
using fixtures::SocketClient;

TEST_F(FeedEngineTest, SignalsMoveTheWaterAndShowInTheStatusFile) {
    auto feed = makeFeed();
    feed->start();
    EXPECT_TRUE(feed->ownsBus());
    EXPECT_EQ(statusFile()["ownsBus"], true);
    EXPECT_EQ(statusFile()["socketPath"], settings().socketPath);
    EXPECT_EQ(feed->step(t0, false).y, 0.07);
    EXPECT_EQ(feed->mode(), FeedMode::live);

    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    EXPECT_EQ(status->record().lastSignalEvent, "prompt_submitted");

    double y = 0;
    for (double now = t0 + 0.25; now < t0 + 3; now += 0.25) {
        y = feed->step(now, false).y;
    }
    EXPECT_GT(y, 0.3);
    EXPECT_EQ(statusFile()["signals"], 1);
    EXPECT_EQ(statusFile()["mode"], "live");
}

TEST_F(FeedEngineTest, SignalsAreStampedWithTheFeedsOwnClock) {
    // A simulated clock a day ahead of the wall: signals arrive on it, as the steps do.
    const double simulated = t0 + 86400;
    auto settings = fixtures::isolatedSettings(directory, false, status);
    settings.clock = [&] { return simulated; };
    auto feed = std::make_shared<FloodmarkFeed>(settings, simulated);
    feed->start();
    SocketClient agent(settings.socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    EXPECT_EQ(status->record().lastSignalAt, simulated);
    EXPECT_EQ(status->record().boundAt, simulated);
}

TEST_F(FeedEngineTest, TicksAndArbitrationKeepTheirPace) {
    auto feed = makeFeed();
    feed->start();
    feed->step(t0, false);
    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"tool_failure","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    // The failure's ripple comes with the next aggregator tick, a quarter second on.
    EXPECT_TRUE(feed->step(t0 + 0.2, false).ripples.empty());
    EXPECT_EQ(feed->step(t0 + 0.25, false).ripples.size(), 1u);

    // A fresh away-state file wins at the next arbitration, a second after the last one.
    writeAwayState(t0 + 0.5);
    feed->step(t0 + 0.9, false);
    EXPECT_EQ(feed->mode(), FeedMode::live);
    feed->step(t0 + 1.0, false);
    EXPECT_EQ(feed->mode(), FeedMode::paired);
}

TEST_F(FeedEngineTest, LiveWaterRestsWhenQuietButDrainsUnderAnAgentThatWaits) {
    auto feed = makeFeed();
    feed->start();
    FloodmarkFrame frame;
    for (double now = t0; now < t0 + 30; now += 0.5) {
        frame = feed->step(now, false);
    }
    EXPECT_EQ(frame.y, 0.07);  // nothing going on: at rest, not drained

    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n"
                R"({"event":"awaiting","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 2; }));
    // A waiting agent decays in 8 s but still counts: not quiet, so the water may fall
    // below its resting line.
    for (double now = t0 + 30; now < t0 + 150; now += 0.5) {
        frame = feed->step(now, false);
    }
    EXPECT_LT(frame.y, 0.01);
    EXPECT_GT(frame.x, 0.2);
}

TEST_F(FeedEngineTest, AFeedKeptFromTheSocketFollowsTheOwnersWaterUntilItTakesOver) {
    auto owner = makeFeed();
    owner->start();
    auto otherStatus = std::make_shared<SaverStatus>(directory.file("status"), 78);
    auto follower = std::make_shared<FloodmarkFeed>(
        fixtures::isolatedSettings(directory, false, otherStatus), t0);
    follower->start();
    ASSERT_FALSE(follower->ownsBus());

    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1","sizeBucket":"l"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    FloodmarkFrame led;
    FloodmarkFrame followed;
    for (double now = t0; now < t0 + 4; now += 0.25) {
        led = owner->step(now, false);
        followed = follower->step(now, false);
    }
    EXPECT_TRUE(follower->isFollowing());
    EXPECT_EQ(follower->mode(), FeedMode::live);
    EXPECT_GT(led.y, 0.3);
    EXPECT_NEAR(followed.y, led.y, 0.02);
    EXPECT_NEAR(followed.x, led.x, 0.02);
    EXPECT_EQ(otherStatus->toJson(t0)["following"], true);
    EXPECT_EQ(otherStatus->toJson(t0)["ownsBus"], false);

    // The owner's failure makes a ripple on both.
    agent.write(R"({"event":"tool_failure","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 2; }));
    EXPECT_EQ(owner->step(t0 + 4.25, false).ripples.size(), 1u);
    EXPECT_EQ(follower->step(t0 + 4.25, false).ripples.size(), 1u);
    EXPECT_EQ(follower->step(t0 + 4.5, false).ripples.size(), 1u);  // once, not again

    // The owner goes: the follower rests, then takes the socket at its next attempt.
    owner->stop();
    for (double now = t0 + 5; now < t0 + 15.5; now += 0.25) {
        followed = follower->step(now, false);
    }
    EXPECT_FALSE(follower->isFollowing());
    EXPECT_NEAR(followed.y, 0.07, 0.01);
    follower->step(t0 + 16, false);
    EXPECT_TRUE(follower->ownsBus());
    EXPECT_FALSE(follower->isFollowing());
}

// A ping is written at the next heartbeat a quarter second after the last write, however many
// come: a flood of them must not rewrite the file at its own pace.
TEST_F(FeedEngineTest, PingsAreWrittenWithinAQuarterSecondAndUnknownEventsOnlyCounted) {
    auto feed = makeFeed();
    feed->start();
    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"teleport"})"
                "\n"
                R"({"event":"ping","session":"s7"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().lastPingSession.has_value(); }));
    EXPECT_EQ(status->record().unknownEvents, 1);
    feed->step(currentTime() + SaverStatus::minWriteInterval, false);
    EXPECT_EQ(statusFile()["lastPingSession"], "s7");
}

TEST_F(FeedEngineTest, AFreshAwayStateFileWinsAndReleasesTheSocket) {
    auto feed = makeFeed();
    feed->start();
    EXPECT_TRUE(feed->ownsBus());
    writeAwayState(t0);

    FloodmarkFrame frame = feed->step(t0 + 1.5, false);
    EXPECT_EQ(feed->mode(), FeedMode::paired);
    EXPECT_FALSE(feed->ownsBus());
    EXPECT_FALSE(fileExists(settings().socketPath));
    EXPECT_EQ(frame.y, 0.8);
    EXPECT_EQ(frame.x, 0.5);
    EXPECT_EQ(frame.severity, 3);

    // Stale after ten seconds: the water leaves paired mode, but binds only 15 s after the
    // last attempt.
    feed->step(t0 + 11, false);
    EXPECT_EQ(feed->mode(), FeedMode::ambient);
    EXPECT_EQ(feed->step(t0 + 11, false).severity, -1);
    feed->step(t0 + 14.5, false);
    EXPECT_FALSE(feed->ownsBus());
    feed->step(t0 + 16, false);
    EXPECT_TRUE(feed->ownsBus());
    EXPECT_EQ(feed->mode(), FeedMode::live);
}

TEST_F(FeedEngineTest, AClockSetBackStillArbitratesAndTicks) {
    writeAwayState(t0);
    auto feed = makeFeed();
    feed->start();
    feed->step(t0, false);
    EXPECT_EQ(feed->mode(), FeedMode::paired);

    // The companion goes away while the wall clock is set back an hour.
    std::filesystem::remove(settings().statePath);
    feed->step(t0 - 3600, false);
    EXPECT_NE(feed->mode(), FeedMode::paired);
    // Binding is retried too, rather than an hour later.
    feed->step(t0 - 3599, false);
    EXPECT_TRUE(feed->ownsBus());
    EXPECT_EQ(feed->mode(), FeedMode::live);

    // And the live reading keeps being ticked: a signal moves the water at once.
    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    double y = 0;
    for (double now = t0 - 3598; now < t0 - 3595; now += 0.25) {
        y = feed->step(now, false).y;
    }
    EXPECT_GT(y, 0.2);
}

TEST_F(FeedEngineTest, APairedImpulseShowsOnce) {
    writeAwayState(
        t0, R"(,"impulse":"session_end","impulseAt":")" + formatInternetTime(t0 - 0.5) + "\"");
    auto feed = makeFeed();
    feed->step(t0, false);
    EXPECT_EQ(feed->pops().size(), 1u);
    feed->step(t0 + 0.3, false);
    EXPECT_EQ(feed->pops().size(), 1u);
}

TEST_F(FeedEngineTest, ASecondFeedIsRefusedAndRetriesEveryFifteenSeconds) {
    auto first = makeFeed();
    first->start();
    auto otherStatus = std::make_shared<SaverStatus>(directory.file("status"), 78);
    auto second = std::make_shared<FloodmarkFeed>(
        fixtures::isolatedSettings(directory, false, otherStatus), t0);
    second->start();
    EXPECT_FALSE(second->ownsBus());
    EXPECT_TRUE(otherStatus->record().bindRefusedAt.has_value());
    double refusedAt = *otherStatus->record().bindRefusedAt;

    second->step(refusedAt + 1, false);
    EXPECT_EQ(second->mode(), FeedMode::ambient);
    EXPECT_EQ(otherStatus->record().bindRefusedAt, refusedAt);  // no new attempt yet
    second->step(refusedAt + 15, false);
    EXPECT_EQ(otherStatus->record().bindRefusedAt, refusedAt + 15);

    first->stop();
    second->step(refusedAt + 30, false);
    EXPECT_TRUE(second->ownsBus());
}

TEST_F(FeedEngineTest, RetriesToBindReuseOneBusAndItsThread) {
    auto owner = makeFeed();
    owner->start();
    auto waiting = makeFeed();
    waiting->start();
    long long threads = LiveBus::threadsStarted();
    for (double now = t0 + 16; now < t0 + 300; now += 16) {
        waiting->step(now, false);
    }
    EXPECT_FALSE(waiting->ownsBus());
    owner->stop();
    waiting->step(t0 + 320, false);
    EXPECT_TRUE(waiting->ownsBus());
    EXPECT_EQ(LiveBus::threadsStarted(), threads);
}

TEST_F(FeedEngineTest, HeldSignalsAreReplayedAtTheirOwnTimes) {
    std::string replay = HeldSignals::path(settings().socketPath);
    auto at = [&](double secondsAgo) { return std::to_string((t0 - secondsAgo) * 1000); };
    fixtures::writeFile(replay, R"({"schema":1,"signals":[)"
                                R"({"event":"prompt_submitted","tool":"a","session":"s","at":)" +
                                    at(20) + "}," +
                                    R"({"event":"tool_call","tool":"a","session":"s","at":)" +
                                    at(10) + "}]}");
    auto feed = makeFeed();
    feed->start();
    EXPECT_FALSE(fileExists(replay));
    EXPECT_EQ(status->record().replayed, 2);
    EXPECT_EQ(statusFile()["replayed"], 2);
    EXPECT_EQ(feed->aggregator().activeSessionCount(), 1u);

    // 0.55 decayed for 10 s at 25 s, lifted by a tool call, decayed for 10 s more: what the
    // first live tick reads, give or take the moments that start() took.
    double level = (std::max(0.55 * std::exp(-10.0 / 25), 0.3) + 0.03) * std::exp(-10.0 / 25);
    level *= std::exp(-0.25 / 25);
    FloodmarkFrame frame = feed->step(t0, false);
    EXPECT_NEAR(frame.y, 0.95 * (1 - std::exp(-level)), 1e-4);
}

TEST_F(FeedEngineTest, AFeedThatStartsPairedLeavesTheHeldSignalsForTheNextOwner) {
    std::string replay = HeldSignals::path(settings().socketPath);
    std::string held =
        R"({"schema":1,"signals":[{"event":"tool_call","tool":"a","session":"s","at":)" +
        std::to_string((t0 - 5) * 1000) + "}]}";
    fixtures::writeFile(replay, held);
    writeAwayState(t0);
    auto feed = makeFeed();
    feed->start();
    EXPECT_FALSE(feed->ownsBus());
    EXPECT_EQ(feed->mode(), FeedMode::paired);
    EXPECT_TRUE(fileExists(replay));
    EXPECT_FALSE(fileExists(settings().socketPath));
}

TEST_F(FeedEngineTest, APreviewFeedShowsItsNoteUnlessPaired) {
    auto preview = makeFeed(true);
    EXPECT_EQ(preview->step(t0, false).message,
              "Preview only. The water goes live when the saver runs.");
    EXPECT_FALSE(status->record().mode.has_value());  // a preview never reports its mode
    writeAwayState(t0 + 2);
    FloodmarkFrame paired = preview->step(t0 + 2, false);
    EXPECT_EQ(preview->mode(), FeedMode::paired);
    EXPECT_EQ(paired.message, "AFK. The agents are not.");
}

}  // namespace
}  // namespace floodmark
