#include "FloodmarkSaver/status/SaverStatus.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace floodmark {
namespace {

using fixtures::fileExists;
using fixtures::TempDirectory;

constexpr double now = 1740821400;  // 2025-03-01T09:30:00Z

class SaverStatusTest : public ::testing::Test {
protected:
    nlohmann::json written() {
        return nlohmann::json::parse(std::ifstream(status.filePath()), nullptr, false);
    }
    std::string writtenText() {
        std::ifstream file(status.filePath());
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // Another process's status file, last modified `age` seconds before `now`.
    std::string otherFile(const std::string& name, double age) {
        std::string path = directory.file("status/" + name);
        fixtures::writeFile(path, "{}");
        timeval times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(now - age);
        times[0].tv_usec = times[1].tv_usec = 0;
        utimes(path.c_str(), times);
        return path;
    }

    TempDirectory directory;
    SaverStatus status{directory.file("status"), 4242};
};

TEST_F(SaverStatusTest, WritesASortedCompactFileWithTheAlwaysKeys) {
    status.write(now + 0.25);
    EXPECT_EQ(status.filePath(), directory.file("status/4242.json"));
    auto file = written();
    EXPECT_EQ(file["schema"], 1);
    EXPECT_EQ(file["pid"], 4242);
    EXPECT_EQ(file["updatedAt"], "2025-03-01T09:30:00.250Z");
    EXPECT_EQ(file["ownsBus"], false);
    EXPECT_EQ(file["version"], FLOODMARK_VERSION);
    for (const char* key : {"previewViews", "saverViews", "signals", "unknownEvents", "replayed",
                            "drawMisses", "metalFallbacks"}) {
        EXPECT_EQ(file[key], 0) << key;
    }
    for (const char* key : {"mode", "socketPath", "boundAt", "lastDrawMiss", "lastPingAt"}) {
        EXPECT_FALSE(file.contains(key)) << key;
    }
    std::string text = writtenText();
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_LT(text.find("\"drawMisses\""), text.find("\"metalFallbacks\""));
    EXPECT_LT(text.find("\"metalFallbacks\""), text.find("\"ownsBus\""));
}

TEST_F(SaverStatusTest, OptionalFieldsAppearWhenSet) {
    status.boundSocket("/tmp/live.sock", 0, now);
    status.pingReceived("s1", now);
    status.write(now);
    auto file = written();
    EXPECT_EQ(file["mode"], "live");
    EXPECT_EQ(file["socketPath"], "/tmp/live.sock");
    EXPECT_EQ(file["boundAt"], "2025-03-01T09:30:00.000Z");
    EXPECT_EQ(file["lastPingSession"], "s1");
}

TEST_F(SaverStatusTest, HeartbeatsEveryTwoSecondsOrWhenTheClockWentBack) {
    status.heartbeat(now);
    EXPECT_TRUE(fileExists(status.filePath()));
    status.signalReceived("prompt_submitted", now);
    status.heartbeat(now + 1.9);
    EXPECT_EQ(written()["signals"], 0);
    status.heartbeat(now + 2.0);
    EXPECT_EQ(written()["signals"], 1);
    status.signalReceived("prompt_submitted", now);
    status.heartbeat(now - 60);
    EXPECT_EQ(written()["signals"], 2);
}

TEST_F(SaverStatusTest, DrawMissesAndFallbacks) {
    status.recordDrawMiss(std::nullopt, now);
    status.recordDrawMiss(DrawMiss::noDrawable, now + 1);
    status.recordDrawMiss(std::nullopt, now + 2);
    EXPECT_FALSE(fileExists(status.filePath()));  // misses wait for the heartbeat
    status.recordFallback(now + 3);
    auto file = written();
    EXPECT_EQ(file["drawMisses"], 3);
    EXPECT_FALSE(file.contains("lastDrawMiss"));
    EXPECT_EQ(file["lastDrawMissAt"], "2025-03-01T09:30:02.000Z");
    EXPECT_EQ(file["metalFallbacks"], 1);
    EXPECT_EQ(file["lastFallbackAt"], "2025-03-01T09:30:03.000Z");
}

TEST_F(SaverStatusTest, PrunesOtherProcessesOldFilesAndAbandonedTemporariesOnceOnly) {
    mkdir(directory.file("status").c_str(), 0700);
    std::string dayOld = otherFile("100.json", 86400);
    std::string older = otherFile("101.json", 86401);
    std::string notJson = otherFile("notes.txt", 900000);
    std::string own = otherFile("4242.json", 900000);
    // What a process killed while writing left goes after a minute; a living writer's stays.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    std::string killed = otherFile("103.json.fmtmp-" + std::to_string(gone) + "-aZ09bc", 61);
    std::string young = otherFile("104.json.fmtmp-" + std::to_string(gone) + "-aZ09bc", 59);
    std::string writing =
        otherFile("105.json.fmtmp-" + std::to_string(getpid()) + "-aZ09bc", 900000);
    status.write(now);
    EXPECT_TRUE(fileExists(dayOld));
    EXPECT_FALSE(fileExists(older));
    EXPECT_TRUE(fileExists(notJson));
    EXPECT_TRUE(fileExists(own));
    EXPECT_FALSE(fileExists(killed));
    EXPECT_TRUE(fileExists(young));
    EXPECT_TRUE(fileExists(writing));

    std::string later = otherFile("102.json", 90000);
    status.write(now + 10);
    EXPECT_TRUE(fileExists(later));
}

TEST_F(SaverStatusTest, AnUnwritableDirectoryIsSilent) {
    fixtures::writeFile(directory.file("blocked"), "a file where the directory should be");
    SaverStatus blocked(directory.file("blocked/status"), 1);
    blocked.write(now);
    blocked.heartbeat(now + 5);
    EXPECT_FALSE(fileExists(blocked.filePath()));
}

}  // namespace
}  // namespace floodmark
