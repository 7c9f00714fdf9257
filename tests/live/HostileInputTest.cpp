// A hostile local client and a faulty environment: nothing a peer does may stall the saver,
// and nothing it sends may make the saver hold memory without bound.
#include "FloodmarkSaver/feed/BoundedHandOff.h"
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "FloodmarkSaver/live/LiveDemandCalibration.h"
#include "FloodmarkSaver/live/LiveSignal.h"
#include "FloodmarkSaver/paired/PairedState.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "support/FeedSettings.h"
#include "support/LocalListener.h"
#include "support/SocketClient.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

namespace floodmark {
namespace {

using fixtures::SocketClient;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using Clock = std::chrono::steady_clock;

// The time limits below are hang checks; sanitized builds run several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double slowdown = 15;
#else
constexpr double slowdown = 1;
#endif

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An owner that is stopped with its backlog full is alive: asking does not wait on it, and a
// second feed starts at once without taking its socket. (The limits here are hang checks: a
// blocking connect never returns.)
TEST(HostileInput, AStuckOwnerHoldsUpNobody) {
    TempDirectory directory;
    auto settings = fixtures::isolatedSettings(directory);
    fixtures::LocalListener stuck(settings.socketPath, true);

    auto start = Clock::now();
    EXPECT_TRUE(LiveBus::somethingListens(settings.socketPath));
    auto feed = std::make_shared<FloodmarkFeed>(settings, currentTime());
    feed->start();
    feed->step(currentTime(), false);
    EXPECT_LT(secondsSince(start), 1.0 * slowdown);
    EXPECT_FALSE(feed->ownsBus());
    EXPECT_TRUE(fixtures::fileExists(settings.socketPath));
    feed->stop();
}

// Names past 256 bytes make no signal, so no client can make queued signals or kept sessions
// huge; a long size bucket only loses the bucket.
TEST(HostileInput, LongNamesMakeNoSignal) {
    const std::string longest(256, 's');
    const std::string tooLong(257, 's');
    auto parse = [](const std::string& tool, const std::string& session,
                    const std::string& bucket) {
        return LiveSignal::tryParse(R"({"event":"prompt_submitted","tool":")" + tool +
                                    R"(","session":")" + session + R"(","sizeBucket":")" + bucket +
                                    "\"}");
    };
    ASSERT_TRUE(parse(longest, longest, longest).has_value());
    EXPECT_EQ(parse(longest, longest, longest)->sizeBucket, longest);
    EXPECT_FALSE(parse(tooLong, "s1", "s").has_value());
    EXPECT_FALSE(parse("agent", tooLong, "s").has_value());
    ASSERT_TRUE(parse("agent", "s1", tooLong).has_value());
    EXPECT_FALSE(parse("agent", "s1", tooLong)->sizeBucket.has_value());

    // Dropped, but counted where the status file's droppedLines learns of it.
    TempDirectory directory;
    std::atomic<int> signals{0};
    LiveBus bus(directory.file("live.sock"), nullptr, [&](const LiveSignal&) { ++signals; });
    ASSERT_TRUE(bus.start());
    SocketClient hook(bus.path());
    hook.write(R"({"event":"tool_call","tool":"t","session":")" + tooLong + "\"}\n" +
               R"({"event":"tool_call","tool":")" + tooLong + R"(","session":"s1"})" + "\n" +
               R"({"event":"tool_call","tool":"t","session":"s1"})" + "\n");
    ASSERT_TRUE(waitUntil([&] { return signals == 1; }));
    EXPECT_EQ(bus.takeOverlongLines(), 2);
    bus.stop();
}

// A million distinct sessions keep at most 10,000, the newest among them; the lowest go first.
TEST(HostileInput, SessionsAreBoundedAndTheLowestMakeRoom) {
    LiveDemandAggregator aggregator;
    const double now = 1796857200;
    for (int index = 0; index < 25000; ++index) {
        aggregator.ingest(*LiveSignal::tryParse(R"({"event":"tool_call","tool":"t","session":"s)" +
                                                std::to_string(index) + "\"}"),
                          now);
    }
    EXPECT_LE(aggregator.activeSessionCount(), 10000u);
    EXPECT_GE(aggregator.activeSessionCount(), 9000u);
    EXPECT_EQ(aggregator.takeEvictedSessions(), 15000);  // a thousand at a time past 10,000
    // A prompt's session stands higher than every tool call's, so it survives the next flood.
    aggregator.ingest(
        *LiveSignal::tryParse(
            R"({"event":"prompt_submitted","tool":"t","session":"big","sizeBucket":"xl"})"),
        now);
    for (int index = 0; index < 20000; ++index) {
        aggregator.ingest(*LiveSignal::tryParse(R"({"event":"tool_call","tool":"u","session":"s)" +
                                                std::to_string(index) + "\"}"),
                          now);
    }
    EXPECT_GT(aggregator.tick(now + 0.1, 0.1).y, 0.0);
    std::size_t before = aggregator.activeSessionCount();
    aggregator.ingest(*LiveSignal::tryParse(R"({"event":"stop","tool":"t","session":"big"})"), now);
    EXPECT_EQ(aggregator.activeSessionCount(), before);  // "big" was still there: no new session
}

// Past its limit, work for the main thread is dropped and counted, never queued.
TEST(HostileInput, TheHandOffToTheMainThreadIsBounded) {
    BoundedHandOff handOff(3);
    int ran = 0;
    for (int index = 0; index < 5; ++index) {
        handOff.post([&ran] { ++ran; });
    }
    EXPECT_EQ(handOff.takeDropped(), 2);
    MainLoop::main().runUntilIdle();
    EXPECT_EQ(ran, 3);
    EXPECT_TRUE(handOff.post([&ran] { ++ran; }));  // room again once the work ran
    MainLoop::main().runUntilIdle();
    EXPECT_EQ(ran, 4);
}

// 300 idle clients cannot lock a hook out, and unfinished lines cannot grow past 16 MiB.
TEST(HostileInput, ClientsAndUnfinishedLinesAreBounded) {
    TempDirectory directory;
    std::atomic<int> signals{0};
    LiveBus bus(directory.file("live.sock"), nullptr, [&](const LiveSignal&) { ++signals; });
    ASSERT_TRUE(bus.start());

    std::vector<std::unique_ptr<SocketClient>> idle;
    for (int index = 0; index < 300; ++index) {
        idle.push_back(std::make_unique<SocketClient>(bus.path()));
    }
    long long evicted = 0;
    EXPECT_TRUE(waitUntil([&] { return (evicted += bus.takeEvictedClients()) >= 44; }));
    SocketClient hook(bus.path());
    hook.write(R"({"event":"tool_call","tool":"t","session":"s1"})"
               "\n");
    EXPECT_TRUE(waitUntil([&] { return signals == 1; }));
    idle.clear();

    // 17 clients each 1,000,000 bytes into a line: 17 MB waiting is past the bound.
    std::vector<std::unique_ptr<SocketClient>> writers;
    const std::string unfinished(1000000, 'x');
    evicted = 0;
    for (int index = 0; index < 17; ++index) {
        writers.push_back(std::make_unique<SocketClient>(bus.path()));
        writers.back()->write(R"({"event":"tool_call","session":")" + unfinished);
    }
    EXPECT_TRUE(waitUntil([&] { return (evicted += bus.takeEvictedClients()) >= 1; }));
    bus.stop();
}

// 100,000 pings rewrite the status file at most four times a second (plus the heartbeat).
TEST(HostileInput, APingFloodRewritesTheStatusFileAtMostFourTimesASecond) {
    TempDirectory directory;
    auto status = std::make_shared<SaverStatus>(directory.file("status"), 77);
    auto feed = std::make_shared<FloodmarkFeed>(
        fixtures::isolatedSettings(directory, false, status), currentTime());
    feed->start();
    ASSERT_TRUE(feed->ownsBus());
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, directory.file("status").c_str(), IN_MOVED_TO);

    std::thread flood([&] {
        SocketClient agent(fixtures::isolatedSettings(directory).socketPath);
        std::string burst;
        for (int index = 0; index < 1000; ++index) {
            burst += R"({"event":"ping","session":"p)" + std::to_string(index) + "\"}\n";
        }
        for (int round = 0; round < 100; ++round) {
            agent.write(burst);
        }
    });
    auto start = Clock::now();
    while (secondsSince(start) < 1.5) {
        MainLoop::main().runUntilIdle();
        feed->step(currentTime(), false);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    flood.join();
    double elapsed = secondsSince(start);
    int writes = 0;
    alignas(inotify_event) char events[65536];
    for (ssize_t count; (count = read(watch, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + count;) {
            auto* event = reinterpret_cast<inotify_event*>(at);
            writes += std::string(event->name) == "77.json";
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_GE(status->record().lastPingSession.has_value(), true);
    EXPECT_LE(writes, static_cast<int>(elapsed * 4) + 2) << "in " << elapsed << " s";
    feed->stop();
}

// Away-state stamps far from now, either way, are never fresh (nor undefined behaviour).
TEST(HostileInput, AwayStateStampsFarFromNowAreStale) {
    TempDirectory directory;
    const double now = 1796857200;  // 2026-12-09T23:00:00Z
    const std::pair<const char*, bool> cases[] = {
        {"1677-01-01T00:00:00Z", false}, {"2400-02-29T12:00:00Z", false},
        {"2026-12-09T23:00:11Z", false}, {"2026-12-09T23:00:05Z", true},
        {"2026-12-09T22:59:50Z", true},
    };
    for (const auto& [stamp, fresh] : cases) {
        fixtures::writeFile(
            directory.file("away.json"),
            std::string(R"({"schema":1,"y":0.5,"x":0.5,"updatedAt":")") + stamp + "\"}");
        EXPECT_EQ(PairedState::read(directory.file("away.json"), now).has_value(), fresh) << stamp;
    }
}

void setAge(const std::string& path, double seconds) {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(currentTime() - seconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// A linked status folder is not written or pruned; temporaries that killed writers left are
// swept once an hour old (never a person's "NAME.backup"); calibration days ahead or not dates
// are dropped.
TEST(HostileInput, AFaultyEnvironmentCostsNoOneElsesFiles) {
    TempDirectory directory;
    mkdir(directory.file("elsewhere").c_str(), 0700);
    fixtures::writeFile(directory.file("elsewhere/victim.json"), "{}");
    setAge(directory.file("elsewhere/victim.json"), 3 * 86400);
    symlink(directory.file("elsewhere").c_str(), directory.file("status").c_str());
    SaverStatus(directory.file("status"), 77).write(currentTime());
    EXPECT_TRUE(fixtures::fileExists(directory.file("elsewhere/victim.json")));
    EXPECT_FALSE(fixtures::fileExists(directory.file("elsewhere/77.json")));

    const std::pair<const char*, bool> leftovers[] = {
        {"calibration.json.Ab12Cd", false},  // two hours old: gone
        {"calibration.json.Zz99Yy", true},   // a minute old: perhaps still being written
        {"calibration.json.backup", true},   // a person's
    };
    for (const auto& [name, kept] : leftovers) {
        fixtures::writeFile(directory.file(name), "{}");
        setAge(directory.file(name), kept && name[17] == 'Z' ? 60 : 7200);
    }
    ASSERT_TRUE(writeFileAtomically(directory.file("calibration.json"), "{}"));
    for (const auto& [name, kept] : leftovers) {
        EXPECT_EQ(fixtures::fileExists(directory.file(name)), kept) << name;
    }

    auto restored = nlohmann::json::parse(R"({"schema":3,"y":{"2026-12-08":0.5,"2026-12-09":0.5,
        "2026-12-10":0.5,"2026-12-11":9,"2099-01-01":9,"garbage":9},"x":{"2027-06-01":9}})");
    LiveDemandCalibration calibration(&restored);
    calibration.observe(0, 0, 1796817600, 1);  // 2026-12-09T12:00:00Z
    EXPECT_EQ(calibration.toJson()["y"],
              nlohmann::json::parse(R"({"2026-12-08":0.5,"2026-12-09":0.5,"2026-12-10":0.5})"));
    EXPECT_EQ(calibration.toJson()["x"], nlohmann::json::object());
}

// 50,000 held signals from distinct sessions replay in well under a second, not quadratically.
TEST(HostileInput, ALargeReplayIsLinear) {
    TempDirectory directory;
    auto status = std::make_shared<SaverStatus>(directory.file("status"), 77);
    auto settings = fixtures::isolatedSettings(directory, false, status);
    const double now = currentTime();
    {
        std::ofstream file(directory.file("l.replay.json"));
        file << R"({"schema":1,"signals":[)";
        for (int index = 0; index < 50000; ++index) {
            file << (index ? "," : "") << R"({"event":"tool_call","tool":"t","session":"s)" << index
                 << R"(","at":)" << static_cast<long long>((now - 1700 + index * 0.03) * 1000)
                 << "}";
        }
        file << "]}";
    }
    auto feed = std::make_shared<FloodmarkFeed>(settings, now);
    auto start = Clock::now();
    feed->start();
    EXPECT_LT(secondsSince(start),
              5.0 * slowdown);  // 17.5 s (optimised) when every entry ticked every session
    EXPECT_EQ(status->record().replayed, 50000);
    EXPECT_GT(feed->step(currentTime(), false).y, 0.0);
    feed->stop();
}

}  // namespace
}  // namespace floodmark
