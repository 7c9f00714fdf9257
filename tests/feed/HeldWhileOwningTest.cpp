// Signals held while the socket's owner could not take them (stopped, or too slow to read)
// are replayed by that owner within a second, not only at the next bind.
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/Time.h"
#include "support/FeedSettings.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

using fixtures::fileExists;

TEST(HeldWhileOwning, TheOwnerReplaysAHeldFileOnceASecond) {
    fixtures::TempDirectory directory;
    auto status = std::make_shared<SaverStatus>(directory.file("status"), 77);
    const double t0 = currentTime();
    auto feed =
        std::make_shared<FloodmarkFeed>(fixtures::isolatedSettings(directory, false, status), t0);
    feed->start();
    ASSERT_TRUE(feed->ownsBus());
    feed->step(t0 + 1, false);

    const std::string replay = SaverReplay::path(directory.file("live.sock"));
    auto hold = [&](const std::string& session, double at) {
        fixtures::writeFile(replay, R"({"schema":1,"signals":[{"event":"tool_call","tool":"a",)"
                                    R"("session":")" +
                                        session + R"(","at":)" + std::to_string(at * 1000) + "}]}");
    };
    hold("s1", t0 + 1.5);
    feed->step(t0 + 2.1, false);
    EXPECT_FALSE(fileExists(replay));
    EXPECT_EQ(feed->aggregator().activeSessionCount(), 1u);
    EXPECT_EQ(status->replayed, 1);

    hold("s2", t0 + 2.2);
    feed->step(t0 + 2.5, false);  // looked for at most once a second
    EXPECT_TRUE(fileExists(replay));
    feed->step(t0 + 3.2, false);
    EXPECT_FALSE(fileExists(replay));
    EXPECT_EQ(feed->aggregator().activeSessionCount(), 2u);
    EXPECT_EQ(status->replayed, 2);
    feed->stop();
}

}  // namespace
}  // namespace floodmark
