#include "FloodmarkSaver/live/LiveDemandAggregator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace floodmark {
namespace {

constexpr double t0 = 1'700'000'000;

LiveSignal signal(LiveEvent event, std::string session = "s1") {
    return LiveSignal{.tool = "agent", .session = std::move(session), .event = event};
}

// A session's level, read back as the raw load of a lone session with no decay.
double levelAfter(const std::vector<LiveSignal>& signals) {
    LiveDemandAggregator aggregator;
    for (const auto& each : signals) {
        aggregator.ingest(each, t0);
    }
    auto reading = aggregator.tick(t0, 0);
    return -std::log(1 - reading.y / 0.95);  // undo the immature load curve
}

TEST(LiveDemandAggregator, NothingGoingOnReadsQuiet) {
    LiveDemandAggregator aggregator;
    auto reading = aggregator.tick(t0, 0.25);
    EXPECT_EQ(reading, LiveDemandReading{});
    EXPECT_TRUE(reading.isQuiet());
}

TEST(LiveDemandAggregator, APromptLiftsItsSessionByItsSize) {
    LiveDemandAggregator aggregator;
    auto prompt = signal(LiveEvent::promptSubmitted);
    prompt.sizeBucket = "xl";
    aggregator.ingest(prompt, t0);
    auto reading = aggregator.tick(t0, 0);
    EXPECT_DOUBLE_EQ(reading.y, 0.95 * (1 - std::exp(-0.95)));
    EXPECT_DOUBLE_EQ(reading.x, 0.9 * (1 - std::exp(-0.3255)));
    EXPECT_FALSE(reading.isQuiet());

    EXPECT_EQ(LiveDemandAggregator::attack("s"), 0.35);
    EXPECT_EQ(LiveDemandAggregator::attack("l"), 0.75);
    EXPECT_EQ(LiveDemandAggregator::attack("M"), 0.55);
    EXPECT_EQ(LiveDemandAggregator::attack(std::nullopt), 0.55);
}

TEST(LiveDemandAggregator, LevelRulesOfEachEvent) {
    auto call = signal(LiveEvent::toolCall);
    auto compaction = signal(LiveEvent::compaction);
    auto failure = signal(LiveEvent::toolFailure);
    auto prompt = signal(LiveEvent::promptSubmitted);
    EXPECT_NEAR(levelAfter({call}), 0.33, 1e-9);
    EXPECT_NEAR(levelAfter({prompt, call}), 0.58, 1e-9);
    EXPECT_NEAR(levelAfter({prompt, compaction}), 0.67, 1e-9);
    EXPECT_NEAR(levelAfter({prompt, failure}), 0.61, 1e-9);
    std::vector<LiveSignal> many(40, call);
    EXPECT_NEAR(levelAfter(many), 1, 1e-9);
    // A prompt never lowers a level.
    auto large = prompt;
    large.sizeBucket = "l";
    EXPECT_NEAR(levelAfter({large, prompt}), 0.75, 1e-9);
}

TEST(LiveDemandAggregator, OnlyTheLastImpulseSinceTheTickIsReported) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::compaction), t0);
    aggregator.ingest(signal(LiveEvent::toolFailure), t0);
    EXPECT_EQ(aggregator.tick(t0, 0.25).impulse, ImpulseKind::failure);
    EXPECT_EQ(aggregator.tick(t0 + 0.25, 0.25).impulse, std::nullopt);
}

TEST(LiveDemandAggregator, AStopWithBackgroundWorkKeepsCountingForAnHour) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
    auto stop = signal(LiveEvent::stop);
    stop.backgroundTasks = 2;
    aggregator.ingest(stop, t0);
    EXPECT_EQ(aggregator.tick(t0, 0).impulse, std::nullopt);

    // Well past the concurrency window and the level's fade, the session still counts.
    auto reading = aggregator.tick(t0 + 3599, 3599);
    EXPECT_EQ(aggregator.activeSessionCount(), 1u);
    EXPECT_DOUBLE_EQ(reading.x, 0.9 * (1 - std::exp(-0.3255)));
    aggregator.tick(t0 + 3601, 2);
    EXPECT_EQ(aggregator.activeSessionCount(), 0u);
}

TEST(LiveDemandAggregator, BackgroundWorkDecaysAtTheActiveRate) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
    auto stop = signal(LiveEvent::stop);
    stop.backgroundTasks = 1;
    aggregator.ingest(stop, t0);
    // Stale (older than 180 s) but trusted: 25 s, not 8 s.
    auto reading = aggregator.tick(t0 + 200, 25);
    EXPECT_NEAR(reading.y, 0.95 * (1 - std::exp(-0.55 * std::exp(-1))), 1e-12);
}

TEST(LiveDemandAggregator, AStopWithoutBackgroundWorkSettlesAndEnds) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
    aggregator.ingest(signal(LiveEvent::stop), t0);
    EXPECT_EQ(aggregator.tick(t0, 0).impulse, ImpulseKind::sessionEnd);
    // A settling session decays with 4 s: 0.55 falls below 0.01 after about 16 s.
    double now = t0;
    while (aggregator.activeSessionCount() > 0 && now < t0 + 60) {
        now += 0.25;
        aggregator.tick(now, 0.25);
    }
    EXPECT_NEAR(now - t0, 4 * std::log(55.0), 0.25);
}

TEST(LiveDemandAggregator, ARateLimitedHaltIsShownUntilTheLimitEnds) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
    auto halt = signal(LiveEvent::halted);
    halt.errorKind = "rate_limit";
    halt.resumesAt = t0 + 7200;
    aggregator.ingest(halt, t0);
    auto first = aggregator.tick(t0, 0);
    EXPECT_EQ(first.impulse, ImpulseKind::sessionEnd);
    EXPECT_EQ(first.stopped, "rate_limit");
    EXPECT_EQ(aggregator.tick(t0 + 7379, 7379).stopped, "rate_limit");
    EXPECT_EQ(aggregator.tick(t0 + 7380, 1).stopped, std::nullopt);
}

TEST(LiveDemandAggregator, AnErrorHaltLastsTheHourAndANewSignalClearsIt) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::toolCall, "a"), t0);
    aggregator.ingest(signal(LiveEvent::toolCall, "b"), t0);
    auto halt = signal(LiveEvent::halted, "a");
    halt.errorKind = "error";
    aggregator.ingest(halt, t0);
    EXPECT_EQ(aggregator.tick(t0 + 3599, 3599).stopped, "error");
    EXPECT_EQ(aggregator.tick(t0 + 3600, 1).stopped, std::nullopt);

    auto haltB = signal(LiveEvent::halted, "b");
    haltB.errorKind = "error";
    aggregator.ingest(signal(LiveEvent::toolCall, "b"), t0 + 3600);
    aggregator.ingest(haltB, t0 + 3600);
    EXPECT_EQ(aggregator.tick(t0 + 3600, 0).stopped, "error");
    aggregator.ingest(signal(LiveEvent::toolCall, "b"), t0 + 3601);
    EXPECT_EQ(aggregator.tick(t0 + 3601, 1).stopped, std::nullopt);
}

TEST(LiveDemandAggregator, ARateLimitWinsOverAnError) {
    LiveDemandAggregator aggregator;
    for (const char* session : {"a", "b"}) {
        aggregator.ingest(signal(LiveEvent::toolCall, session), t0);
    }
    auto haltA = signal(LiveEvent::halted, "a");
    haltA.errorKind = "error";
    auto haltB = signal(LiveEvent::halted, "b");
    haltB.errorKind = "rate_limit";
    aggregator.ingest(haltA, t0);
    aggregator.ingest(haltB, t0);
    EXPECT_EQ(aggregator.tick(t0, 0).stopped, "rate_limit");
}

TEST(LiveDemandAggregator, AHaltOfAnUnknownOrSettlingSessionDoesNothing) {
    LiveDemandAggregator aggregator;
    auto halt = signal(LiveEvent::halted);
    halt.errorKind = "error";
    aggregator.ingest(halt, t0);
    auto reading = aggregator.tick(t0, 0);
    EXPECT_EQ(reading.impulse, std::nullopt);
    EXPECT_EQ(reading.stopped, std::nullopt);
    EXPECT_EQ(aggregator.activeSessionCount(), 0u);

    aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
    aggregator.ingest(signal(LiveEvent::stop), t0);
    aggregator.tick(t0, 0);
    aggregator.ingest(halt, t0 + 1);
    reading = aggregator.tick(t0 + 1, 1);
    EXPECT_EQ(reading.impulse, std::nullopt);
    EXPECT_EQ(reading.stopped, std::nullopt);
}

TEST(LiveDemandAggregator, AWaitingSessionStaysUntilItsWaitExpires) {
    LiveDemandAggregator aggregator;
    aggregator.ingest(signal(LiveEvent::toolCall), t0);
    aggregator.ingest(signal(LiveEvent::awaiting), t0);
    auto reading = aggregator.tick(t0 + 1000, 1000);
    EXPECT_EQ(reading.awaiting, 1);
    EXPECT_GT(reading.x, 0);
    EXPECT_EQ(aggregator.activeSessionCount(), 1u);
    EXPECT_EQ(aggregator.tick(t0 + 1800, 800).awaiting, 1);
    reading = aggregator.tick(t0 + 1800.5, 0.5);
    EXPECT_EQ(reading.awaiting, 0);
    EXPECT_EQ(aggregator.activeSessionCount(), 0u);
}

TEST(LiveDemandAggregator, StaleOrWaitingSessionsDecayInEightSecondsAndCountForFiveMinutes) {
    struct Case {
        double age;      // seconds since the prompt at the tick
        bool waiting;    // the agent waits on the user
        double elapsed;  // since the previous tick
        double y;
        double x;
    };
    const Case cases[] = {
        // Active (170 s): the 25 s decay; one agent at work.
        {170, false, 8, 0.3128022708696, 0.2500504377604924},
        // Stale (181 s): the 8 s decay; still one of the last five minutes' agents.
        {181, false, 8, 0.1740188008809932, 0.2500504377604924},
        // Waiting on the user: the 8 s decay however fresh, and it counts.
        {10, true, 8, 0.1740188008809932, 0.2500504377604924},
        // Past five minutes the agent no longer counts, though its water has not drained.
        {299, false, 0, 0.95 * (1 - std::exp(-0.55)), 0.2500504377604924},
        {301, false, 0, 0.95 * (1 - std::exp(-0.55)), 0},
    };
    for (const auto& test : cases) {
        LiveDemandAggregator aggregator;
        aggregator.ingest(signal(LiveEvent::promptSubmitted), t0 - test.age);
        if (test.waiting) {
            aggregator.ingest(signal(LiveEvent::awaiting), t0 - test.age);
        }
        auto reading = aggregator.tick(t0, test.elapsed);
        EXPECT_NEAR(reading.y, test.y, 1e-12) << test.age;
        EXPECT_NEAR(reading.x, test.x, 1e-12) << test.age;
    }
}

TEST(LiveDemandAggregator, SignalsOfOneAgentProcessShareASession) {
    LiveDemandAggregator aggregator;
    auto first = signal(LiveEvent::toolCall, "s1");
    auto second = signal(LiveEvent::toolCall, "s2");
    first.pid = second.pid = 4242;
    aggregator.ingest(first, t0);
    aggregator.ingest(second, t0);
    EXPECT_EQ(aggregator.activeSessionCount(), 1u);
}

TEST(LiveDemandAggregator, BadElapsedTimesCountAsZero) {
    for (double elapsed : {-5.0, std::nan(""), HUGE_VAL}) {
        LiveDemandAggregator aggregator;
        aggregator.ingest(signal(LiveEvent::promptSubmitted), t0);
        auto reading = aggregator.tick(t0, elapsed);
        EXPECT_DOUBLE_EQ(reading.y, 0.95 * (1 - std::exp(-0.55))) << elapsed;
    }
}

}  // namespace
}  // namespace floodmark
