#include "feed/FeedEngineFixture.h"

#include "support/SocketClient.h"

#include <filesystem>
#include <fstream>

namespace floodmark {
namespace {

using fixtures::fileExists;
using fixtures::SocketClient;

// What the feed learns of a usual day, kept across stops and never overwritten unread.
TEST_F(FeedEngineTest, TheCalibrationSurvivesAStopAndANewFeed) {
    auto feed = makeFeed();
    feed->start();
    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    for (double now = t0; now < t0 + 2; now += 0.25) {
        feed->step(now, false);
    }
    auto learned = feed->aggregator().calibration()->toJson();
    ASSERT_EQ(learned["y"].size(), 1u);
    feed->stop();
    EXPECT_FALSE(fileExists(settings().socketPath));
    EXPECT_EQ(statusFile()["ownsBus"], false);

    auto next = makeFeed();
    EXPECT_EQ(next->aggregator().calibration()->toJson(), learned);
}

TEST_F(FeedEngineTest, OnlyAFeedThatOwnedTheSocketWritesTheCalibrationAndItSavesEveryTenMinutes) {
    std::filesystem::create_directories(directory.file("state"));
    const std::string kept = R"({"schema":3,"x":{},"y":{"2025-03-01":1}})";
    fixtures::writeFile(settings().calibrationPath, kept);
    auto readCalibration = [&] {
        std::ifstream file(settings().calibrationPath);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };

    auto owner = makeFeed();
    owner->start();
    ASSERT_TRUE(owner->ownsBus());
    // A preview, and a feed that found the socket taken, learned nothing: they leave it be.
    for (bool preview : {true, false}) {
        auto other = makeFeed(preview);
        other->start();
        other->step(t0 + 1, false);
        EXPECT_FALSE(other->ownsBus());
        other->stop();
        EXPECT_EQ(readCalibration(), kept) << "preview " << preview;
    }

    // The owner keeps what it learned while it runs, not only when it stops.
    SocketClient agent(settings().socketPath);
    agent.write(R"({"event":"prompt_submitted","tool":"agent","session":"s1"})"
                "\n");
    ASSERT_TRUE(deliveredUntil([&] { return status->record().signals == 1; }));
    owner->step(t0 + 300, false);
    EXPECT_EQ(readCalibration(), kept);
    owner->step(t0 + 601, false);
    // Today's one agent is in it (the week-old day has aged out).
    auto saved = nlohmann::json::parse(readCalibration(), nullptr, false);
    ASSERT_EQ(saved["x"].size(), 1u) << readCalibration();
    EXPECT_EQ(saved["x"].begin().value(), 1);
}

// Nor is one of another schema (a newer Floodmark's) overwritten.
TEST_F(FeedEngineTest, ACalibrationFileThatCannotBeReadWholeIsKeptAsideNotOverwritten) {
    std::filesystem::create_directories(directory.file("state"));
    auto read = [](const std::string& path) {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const std::string bad = settings().calibrationPath + ".bad";
    for (const std::string& content :
         {std::string("{\"schema\":3,\"y\":{\"2025-03-01\":1"),
          std::string("{\"schema\":3,\"y\":{\"2025-03-01\":1}}\0garbage", 40),
          R"({"schema":3,"y":{"2025-03-01":1}})" + std::string(2 << 20, ' '),
          std::string(R"({"schema":4,"y":{"2025-03-01":1}})"),
          std::string(R"({"schema":2,"y":{"2025-03-01":1}})"),
          std::string(R"({"schema":"3","y":{"2025-03-01":1}})"), std::string("[]")}) {
        fixtures::writeFile(settings().calibrationPath, content);
        auto feed = makeFeed();
        EXPECT_EQ(feed->aggregator().calibration()->dailySustainedY().size(), 0u);
        EXPECT_EQ(read(bad), content);
        feed->start();
        feed->stop();
        // The fresh week is written beside it; the unreadable one stays for whoever looks.
        EXPECT_EQ(read(bad), content);
        EXPECT_TRUE(fileExists(settings().calibrationPath));
    }
    // One number too large for a double loses that day, not the week.
    std::filesystem::remove(bad);
    fixtures::writeFile(settings().calibrationPath,
                        R"({"schema":3,"y":{"2025-03-01":1e400,"2025-03-02":0.5}})");
    auto kept = makeFeed()->aggregator().calibration()->dailySustainedY();
    EXPECT_EQ(kept, (std::map<std::string, double>{{"2025-03-02", 0.5}}));
    EXPECT_FALSE(fileExists(bad));
}

}  // namespace
}  // namespace floodmark
