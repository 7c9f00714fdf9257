#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

const std::string good = R"({"schema":1,"pid":4242,"source":"kde-idle","timeoutSeconds":300,)"
                         R"("inhibited":true,"locked":false,"saverRunning":false,"gaveUp":true,)"
                         R"("updatedAt":1000.5})";

TEST(WatcherStatus, ReadsItsOwnFileAndNothingMalformed) {
    TempDirectory folder;
    std::string path = folder.file(WatcherStatus::fileName);
    fixtures::writeFile(path, good);
    EXPECT_EQ(WatcherStatus::read(path),
              (WatcherStatus{4242, "kde-idle", 300, true, false, false, true, 1000.5}));

    auto replaced = [](std::string from, std::string to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string hostile[] = {
        "",
        "[]",
        "{\"schema\":1",
        replaced("\"schema\":1", "\"schema\":2"),
        replaced("\"pid\":4242", "\"pid\":\"4242\""),
        replaced("\"pid\":4242", "\"pid\":42.5"),
        replaced("\"inhibited\":true", "\"inhibited\":1"),
        replaced("\"timeoutSeconds\":300", "\"timeoutSeconds\":null"),
        replaced("\"source\":\"kde-idle\"", "\"source\":\"" + std::string(65, 'x') + "\""),
        replaced(",\"gaveUp\":true", ""),
        std::string(70 * 1024, ' ') + good,
    };
    for (const auto& text : hostile) {
        fixtures::writeFile(path, text);
        EXPECT_FALSE(WatcherStatus::read(path)) << text.substr(0, 120);
    }
    EXPECT_FALSE(WatcherStatus::read(folder.file("missing.json")));
}

TEST(WatcherStatus, SaysWhetherTheWatcherRunsAndWhatItSees) {
    WatcherStatus status{getpid(), "x11", 90, false, false, true, false, 1000};
    EXPECT_EQ(status.toText(1005), "idle watcher " + std::to_string(getpid()) +
                                       ": running\n  source: x11\n  timeout: 90 s\n"
                                       "  inhibited: no\n  locked: no\n  saver running: yes\n");
    EXPECT_EQ(status.toText(1011).substr(0, 40).find("stale (no heartbeat)") != std::string::npos,
              true);
    // A Wayland compositor keeps its idle inhibitors to itself: it just sends no idle event.
    for (const char* source : {"ext-idle-notify", "kde-idle"}) {
        status.source = source;
        EXPECT_NE(status.toText(1005).find(
                      "\n  inhibited: unknown (the compositor holds idleness off for its idle "
                      "inhibitors without telling)\n"),
                  std::string::npos)
            << source;
    }
    status.gaveUp = true;
    EXPECT_NE(status.toText(1005).find("\n  gave up: the saver crashed 3 times in 10 minutes\n"),
              std::string::npos);
    // No process has this pid: the kernel's largest is below it.
    status.pid = 0x7ffffffe;
    EXPECT_NE(status.toText(1005).find(": stopped (process gone)\n"), std::string::npos);
    // The file is anyone's to write: its text never drives the terminal.
    status.source = "x11\x1b[2J\a";
    EXPECT_NE(status.toText(1005).find("\n  source: x11\xEF\xBF\xBD[2J\xEF\xBF\xBD\n"),
              std::string::npos);
}

}  // namespace
}  // namespace floodmark
