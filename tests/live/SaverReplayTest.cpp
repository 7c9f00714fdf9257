#include "FloodmarkSaver/live/SaverReplay.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

using fixtures::fileExists;
using fixtures::TempDirectory;
using fixtures::writeFile;

constexpr double now = 1'700'000'000;

std::string entry(double secondsAgo, const std::string& event = "tool_call",
                  const std::string& session = "s1") {
    return R"({"event":")" + event + R"(","tool":"agent","session":")" + session + R"(","at":)" +
           std::to_string((now - secondsAgo) * 1000) + "}";
}

class SaverReplayTest : public ::testing::Test {
protected:
    std::vector<SaverReplay::HeldSignal> readWith(const std::string& content) {
        writeFile(path, content);
        return SaverReplay::read(path, now);
    }

    TempDirectory directory;
    std::string path = directory.file("l.replay.json");
};

TEST(SaverReplayPath, SitsBesideTheSocket) {
    EXPECT_EQ(SaverReplay::path("/home/ana/.tolvera/live.sock"),
              "/home/ana/.tolvera/l.replay.json");
    EXPECT_EQ(SaverReplay::path("/Users/ana/Library/Containers/x/Data/l.sock"),
              "/Users/ana/Library/Containers/x/Data/l.replay.json");
    EXPECT_EQ(SaverReplay::path("/live.sock"), "/l.replay.json");
}

TEST_F(SaverReplayTest, ReadsHeldSignalsOldestFirst) {
    auto held =
        readWith(R"({"schema":1,"signals":[)" + entry(10, "stop", "late") + "," +
                 entry(20, "tool_call", "early") + "," + entry(10, "compaction", "tie") + "]}");
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[0].signal.session, "early");
    EXPECT_NEAR(held[0].at, now - 20, 1e-3);
    EXPECT_EQ(held[1].signal.session, "late");  // equal stamps keep their file order
    EXPECT_EQ(held[2].signal.session, "tie");
    EXPECT_TRUE(fileExists(path));  // reading leaves the file alone
}

TEST_F(SaverReplayTest, TheWholeFileIsRejectedForABadSchemaOrList) {
    EXPECT_TRUE(readWith(R"({"schema":2,"signals":[)" + entry(1) + "]}").empty());
    EXPECT_TRUE(readWith(R"({"schema":"1","signals":[)" + entry(1) + "]}").empty());
    EXPECT_TRUE(readWith(R"({"signals":[)" + entry(1) + "]}").empty());
    EXPECT_TRUE(
        readWith(R"({"schema":1,"signals":[)" + entry(1) + "," + entry(2) + ",5]}").empty());
    EXPECT_TRUE(readWith(R"({"schema":1,"signals":{}})").empty());
    EXPECT_TRUE(readWith(R"({"schema":1,"signals":[)" + entry(1)).empty());  // half written
    EXPECT_TRUE(readWith(R"([1])").empty());
    EXPECT_EQ(readWith(R"({"schema":1.0,"signals":[)" + entry(1) + "]}").size(), 1u);
    EXPECT_TRUE(SaverReplay::read(directory.file("missing.json"), now).empty());
    EXPECT_TRUE(SaverReplay::read(directory.path(), now).empty());  // a directory
}

TEST_F(SaverReplayTest, SkipsEntriesOutsideTheWindowOrThatAreNoSignal) {
    auto held = readWith(
        R"({"schema":1,"signals":[)" + entry(1800) + "," + entry(1800.5) + "," + entry(-1) + "," +
        R"({"event":"tool_call","tool":"agent","session":"s1","at":"1700000000000"},)" +
        entry(5, "ping") + "," + entry(5, "teleport") + "," +
        R"({"event":"stop","session":"s1","at":1699999999000})" + "," + entry(3, "stop") + "]}");
    ASSERT_EQ(held.size(), 2u);
    EXPECT_NEAR(held[0].at, now - 1800, 1e-3);
    EXPECT_EQ(held[1].signal.event, LiveEvent::stop);
}

TEST_F(SaverReplayTest, StampsAreMillisecondsSince1970) {
    writeFile(path, R"({"schema":1,"signals":[{"event":"stop","tool":"a","session":"s",)"
                    R"("at":1700000000000}]})");
    auto held = SaverReplay::read(path, 1700000000 + 60);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].at, 1700000000);  // 2023-11-14 22:13:20 UTC
}

TEST_F(SaverReplayTest, AFileLargerThanFourMebibytesReadsAsEmpty) {
    std::string padding(SaverReplay::maxFileBytes, ' ');
    EXPECT_TRUE(readWith(R"({"schema":1,"signals":[)" + entry(1) + "]}" + padding).empty());
    EXPECT_EQ(readWith(R"({"schema":1,"signals":[)" + entry(1) + "]}").size(), 1u);
}

}  // namespace
}  // namespace floodmark
