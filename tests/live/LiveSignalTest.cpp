#include "FloodmarkSaver/live/LiveLine.h"
#include "FloodmarkSaver/live/LiveSignal.h"

#include <gtest/gtest.h>

#include <limits>

namespace floodmark {
namespace {

std::optional<LiveSignal> parse(const std::string& extra, const std::string& event = "tool_call") {
    return LiveSignal::tryParse(R"({"event":")" + event + R"(","tool":"agent","session":"s1")" +
                                extra + "}");
}

TEST(LiveSignal, AMinimalLineIsASignalWithNothingOptional) {
    auto signal = parse("");
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->event, LiveEvent::toolCall);
    EXPECT_EQ(signal->tool, "agent");
    EXPECT_EQ(signal->session, "s1");
    EXPECT_FALSE(signal->sizeBucket || signal->backgroundTasks || signal->errorKind ||
                 signal->resumesAt || signal->pid);
    EXPECT_EQ(signal->streamKey(), "agent/s1");
}

TEST(LiveSignal, EveryEventParsesByItsExactWireString) {
    for (const char* event : {"prompt_submitted", "tool_call", "compaction", "tool_failure", "stop",
                              "awaiting", "halted"}) {
        auto signal = parse("", event);
        ASSERT_TRUE(signal) << event;
        EXPECT_EQ(signal->event.rawValue(), event);
    }
    EXPECT_FALSE(parse("", "Stop"));
    EXPECT_FALSE(parse("", " stop"));
    EXPECT_FALSE(parse("", "ping"));
}

TEST(LiveSignal, RejectsLinesWithoutAToolOrSession) {
    for (const char* line : {
             R"({"event":"stop","tool":"","session":"s1"})",
             R"({"event":"stop","session":"s1"})",
             R"({"event":"stop","tool":"agent"})",
             R"({"event":"stop","tool":"agent","session":5})",
             R"({"event":"stop","tool":["agent"],"session":"s1"})",
             R"({"event":7,"tool":"agent","session":"s1"})",
             R"(["stop"])",
             R"(not json)",
             "",
         }) {
        EXPECT_FALSE(LiveSignal::tryParse(line)) << line;
    }
    // A blank is still a character.
    EXPECT_TRUE(LiveSignal::tryParse(R"({"event":"stop","tool":" ","session":"s1"})"));
}

TEST(LiveSignal, BackgroundTasksTruncateAndTakeBooleans) {
    EXPECT_EQ(parse(R"(,"backgroundTasks":2.9)").value().backgroundTasks, 2);
    EXPECT_EQ(parse(R"(,"backgroundTasks":-3)").value().backgroundTasks, 0);
    EXPECT_EQ(parse(R"(,"backgroundTasks":"3")").value().backgroundTasks, std::nullopt);
    EXPECT_EQ(parse(R"(,"backgroundTasks":true)").value().backgroundTasks, 1);
    EXPECT_EQ(parse(R"(,"backgroundTasks":false)").value().backgroundTasks, 0);
    EXPECT_EQ(parse(R"(,"backgroundTasks":null)").value().backgroundTasks, std::nullopt);
    // Beyond the 64-bit range: clamped, never undefined.
    constexpr auto largest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(parse(R"(,"backgroundTasks":1e30)").value().backgroundTasks, largest);
    EXPECT_EQ(parse(R"(,"backgroundTasks":18446744073709551615)").value().backgroundTasks, largest);
    EXPECT_EQ(parse(R"(,"backgroundTasks":-1e30)").value().backgroundTasks, 0);
}

TEST(LiveSignal, PidMustBeAnIntegralNumberOfAtLeastTwo) {
    EXPECT_EQ(parse(R"(,"pid":1)").value().pid, std::nullopt);
    EXPECT_EQ(parse(R"(,"pid":2)").value().pid, 2);
    EXPECT_EQ(parse(R"(,"pid":1234.0)").value().pid, 1234);
    EXPECT_EQ(parse(R"(,"pid":12.5)").value().pid, std::nullopt);
    EXPECT_EQ(parse(R"(,"pid":true)").value().pid, std::nullopt);
    EXPECT_EQ(parse(R"(,"pid":"99")").value().pid, std::nullopt);
    EXPECT_EQ(parse(R"(,"pid":1e300)").value().pid, std::nullopt);
    EXPECT_EQ(parse(R"(,"pid":4242)").value().streamKey(), "agent/pid:4242");
}

TEST(LiveSignal, ErrorKindOnlyOnHaltAndResumeOnlyWithARateLimit) {
    EXPECT_EQ(parse(R"(,"errorKind":"error")", "stop").value().errorKind, std::nullopt);
    EXPECT_EQ(parse(R"(,"errorKind":"error")", "halted").value().errorKind, "error");
    EXPECT_EQ(parse(R"(,"errorKind":"rate_limit")", "halted").value().errorKind, "rate_limit");
    EXPECT_EQ(parse(R"(,"errorKind":"timeout")", "halted").value().errorKind, std::nullopt);
    EXPECT_EQ(parse(R"(,"errorKind":"error","resumesAt":100)", "halted").value().resumesAt,
              std::nullopt);
    EXPECT_EQ(parse(R"(,"errorKind":"rate_limit","resumesAt":0)", "halted").value().resumesAt,
              std::nullopt);
    EXPECT_EQ(parse(R"(,"errorKind":"rate_limit","resumesAt":true)", "halted").value().resumesAt,
              std::nullopt);
    EXPECT_EQ(parse(R"(,"errorKind":"rate_limit","resumesAt":1.5)", "halted").value().resumesAt,
              1.5);
    EXPECT_EQ(parse(R"(,"sizeBucket":"huge")", "prompt_submitted").value().sizeBucket, "huge");
    EXPECT_EQ(parse(R"(,"sizeBucket":3)", "prompt_submitted").value().sizeBucket, std::nullopt);
}

TEST(LiveSignal, ExtraKeysAndATrailingCarriageReturnAreFine) {
    auto signal = LiveSignal::tryParse(
        "{\"event\":\"stop\",\"tool\":\"agent\",\"session\":\"s1\",\"colour\":[1,2]}\r");
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->event, LiveEvent::stop);
}

TEST(LiveSignal, DerivedProperties) {
    EXPECT_TRUE(parse(R"(,"backgroundTasks":2)", "stop").value().leftBackgroundWork());
    EXPECT_FALSE(parse(R"(,"backgroundTasks":0)", "stop").value().leftBackgroundWork());
    EXPECT_FALSE(parse(R"(,"backgroundTasks":2)", "tool_call").value().leftBackgroundWork());

    constexpr double now = 1'700'000'000;
    LiveSignal signal = *parse(R"(,"errorKind":"rate_limit")", "halted");
    signal.resumesAt = now;
    EXPECT_EQ(signal.resumeHoldUntil(now), std::nullopt);
    signal.resumesAt = now + 21660;
    EXPECT_EQ(signal.resumeHoldUntil(now), now + 21840);
    signal.resumesAt = now + 21661;
    EXPECT_EQ(signal.resumeHoldUntil(now), std::nullopt);
}

TEST(LiveSignal, PingsAndUnknownEvents) {
    EXPECT_EQ(LiveSignal::pingSession(R"({"event":"ping","session":"s1"})"), "s1");
    EXPECT_EQ(LiveSignal::pingSession(R"({"event":"ping","session":""})"), std::nullopt);
    EXPECT_EQ(LiveSignal::pingSession(R"({"event":"ping"})"), std::nullopt);
    EXPECT_FALSE(LiveSignal::namesUnknownEvent(R"({"event":"ping","session":""})"));

    EXPECT_TRUE(LiveSignal::namesUnknownEvent(R"({"event":"Stop","tool":"a","session":"s"})"));
    EXPECT_TRUE(LiveSignal::namesUnknownEvent(R"({"event":"teleport"})"));
    EXPECT_FALSE(LiveSignal::namesUnknownEvent(R"({"event":"stop","tool":""})"));
    EXPECT_FALSE(LiveSignal::namesUnknownEvent(R"({"event":3})"));
    EXPECT_FALSE(LiveSignal::namesUnknownEvent(R"({})"));
    EXPECT_FALSE(LiveSignal::namesUnknownEvent("garbage"));
}

TEST(LiveLine, ClassifiesEachLineAsExactlyOneThing) {
    using Kind = LiveLine::Kind;
    EXPECT_EQ(LiveLine::classify(R"({"event":"stop","tool":"a","session":"s"})").kind,
              Kind::signal);
    auto ping = LiveLine::classify(R"({"event":"ping","session":"s9","tool":"a"})");
    EXPECT_EQ(ping.kind, Kind::ping);
    EXPECT_EQ(ping.session, "s9");
    EXPECT_EQ(LiveLine::classify(R"({"event":"stop"})").kind, Kind::ignored);
    EXPECT_EQ(LiveLine::classify(R"({"event":"Stop"})").kind, Kind::unknownEvent);
    EXPECT_EQ(LiveLine::classify("").kind, Kind::ignored);
}

TEST(LiveLine, TextThatIsNotUtf8IsNoSignal) {
    for (std::string bad : {"\xff", "\xc0\xaf", "\xed\xa0\x80", "\xe2\x82"}) {
        std::string line = R"({"event":"stop","tool":"a)" + bad + R"(","session":"s"})";
        EXPECT_EQ(LiveLine::classify(line).kind, LiveLine::Kind::ignored);
    }
    std::string good = R"({"event":"stop","tool":"agent ✓","session":"s"})";
    EXPECT_EQ(LiveLine::classify(good).kind, LiveLine::Kind::signal);
}

TEST(LiveLine, EveryByteCountsAndAnOverflowingNumberIsAnAbsentMember) {
    // A NUL is not JSON, wherever it stands.
    std::string withNul = std::string(R"({"event":"stop","tool":"a","session":"s"})") + '\0' + "x";
    EXPECT_EQ(LiveLine::classify(withNul).kind, LiveLine::Kind::ignored);
    std::string nulInString("{\"event\":\"stop\",\"tool\":\"a\0\",\"session\":\"s\"}", 40);
    EXPECT_EQ(LiveLine::classify(nulInString).kind, LiveLine::Kind::ignored);

    auto big = LiveLine::classify(
        R"({"event":"stop","tool":"a","session":"s","backgroundTasks":1e400,"x":"1e400"})");
    ASSERT_EQ(big.kind, LiveLine::Kind::signal);
    EXPECT_EQ(big.signal->backgroundTasks, std::nullopt);
    auto pid = LiveLine::classify(R"({"event":"stop","tool":"a","session":"s","pid":-1e999})");
    ASSERT_EQ(pid.kind, LiveLine::Kind::signal);
    EXPECT_EQ(pid.signal->pid, std::nullopt);
    // Still not JSON: an overflow does not mend a broken line.
    EXPECT_EQ(LiveLine::classify(R"({"event":"stop","tool":"a","session":"s","n":1e400)").kind,
              LiveLine::Kind::ignored);
}

TEST(LiveLine, NestingPastTheBoundIsNoSignalAndBreaksNothing) {
    auto nested = [](size_t depth) {
        return R"({"event":"stop","tool":"a","session":"s","x":)" + std::string(depth, '[') +
               std::string(depth, ']') + "}";
    };
    // The object itself is one level: 63 arrays inside it reach the bound of 64 exactly.
    EXPECT_EQ(LiveLine::classify(nested(63)).kind, LiveLine::Kind::signal);
    EXPECT_EQ(LiveLine::classify(nested(64)).kind, LiveLine::Kind::ignored);
    EXPECT_EQ(LiveLine::classify(nested(100000)).kind, LiveLine::Kind::ignored);
    EXPECT_EQ(LiveLine::classify(std::string(200000, '[')).kind, LiveLine::Kind::ignored);
}

}  // namespace
}  // namespace floodmark
