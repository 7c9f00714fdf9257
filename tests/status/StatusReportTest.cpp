#include "FloodmarkSaver/live/SignalPathProblems.h"
#include "FloodmarkSaver/status/StatusReport.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

pid_t finishedProcess() {
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// Live, silent, gone and broken status files side by side, as `floodmark status` meets them.
TEST(StatusReport, JudgesEachProcessFile) {
    TempDirectory directory;
    const double now = 1796857200;  // 2026-12-09T23:00:00Z
    const pid_t live = getpid();
    const pid_t silent = getppid();
    const pid_t gone = finishedProcess();
    auto write = [&](pid_t pid, const std::string& content) {
        fixtures::writeFile(directory.file(std::to_string(pid) + ".json"), content);
    };
    write(live, R"({"mode":"live","ownsBus":true,"socketPath":"/h/.tolvera/live.sock",)"
                R"("saverViews":2,"previewViews":0,"signals":12,"lastSignalEvent":"tool_call",)"
                R"("replayed":3,"unknownEvents":1,"metalFallbacks":0,"refusedPeers":2,)"
                R"("updatedAt":"2026-12-09T22:59:58.500Z"})");
    write(silent, R"({"mode":"ambient","ownsBus":false,"updatedAt":"2026-12-09T22:59:55.000Z"})");
    write(gone, R"({"mode":"live","ownsBus":true,"updatedAt":"2026-12-09T22:59:59.000Z"})");
    write(1, "{not json");
    fixtures::writeFile(directory.file("notes.json"), "{}");  // not a process's file

    auto report = StatusReport::read(directory.path(), now);
    ASSERT_EQ(report.processes.size(), 4u);
    auto find = [&](pid_t pid) -> const StatusReport::Process& {
        for (const auto& process : report.processes) {
            if (process.pid == pid)
                return process;
        }
        throw std::runtime_error("missing " + std::to_string(pid));
    };
    EXPECT_FALSE(find(live).stale.has_value());
    EXPECT_EQ(find(silent).stale, "no heartbeat");  // 5 s without a write: two beats missed
    EXPECT_EQ(find(gone).stale, "process gone");
    EXPECT_FALSE(find(1).status.has_value());

    // The running come first; the stale fold into one line that names the silent but present.
    const std::string liveLines =
        "pid " + std::to_string(live) +
        ": running, updated 1.5 s ago\n  mode live, owns the socket /h/.tolvera/live.sock\n"
        "  views: 2 saver, 0 preview\n  signals 12 (last tool_call), replayed 3, unknown events "
        "1, GPU fall-backs 0\n  refused connections of other users: 2 (only this user's and "
        "root's hooks are heard)\n";
    const std::string otherLines =
        "pid 1: unreadable status file " + directory.path() +
        "/1.json (not a status file)\n2 stale (process gone: 1, no heartbeat: 1, pid " +
        std::to_string(silent) + "), the newest updated 1.0 s ago; --json lists each\n";
    EXPECT_EQ(report.toText(now), liveLines + otherLines);
    write(live, R"({"mode":"live","updatedAt":"2026-12-09T22:00:00.000Z"})");
    EXPECT_EQ(StatusReport::read(directory.path(), now).toText(now),
              "no saver running\npid 1: unreadable status file " + directory.path() +
                  "/1.json (not a status file)\n3 stale (process gone: 1, no heartbeat: 2, pid " +
                  std::to_string(std::min(live, silent)) + " " +
                  std::to_string(std::max(live, silent)) +
                  "), the newest updated 1.0 s ago; --json lists each\n");

    auto json = report.toJson();
    EXPECT_EQ(json["processes"][0]["pid"], 1);
    EXPECT_EQ(json["processes"][0]["status"], nullptr);
    EXPECT_EQ(json["processes"].size(), 4u);
}

// A process that shows another's water names the running owner; with none running, the owner
// goes unnamed.
TEST(StatusReport, AFollowerNamesTheOwnerItFollows) {
    TempDirectory directory;
    const double now = 1796857200;  // 2026-12-09T23:00:00Z
    const pid_t owner = getpid();
    const pid_t follower = getppid();
    auto write = [&](pid_t pid, const std::string& content) {
        fixtures::writeFile(directory.file(std::to_string(pid) + ".json"), content);
    };
    write(
        follower,
        R"({"mode":"live","ownsBus":false,"following":true,"updatedAt":"2026-12-09T22:59:59.000Z"})");
    const std::string followerLine =
        "pid " + std::to_string(follower) + ": running, updated 1.0 s ago\n  mode live, ";

    write(
        owner,
        R"({"mode":"live","ownsBus":true,"socketPath":"/h/.tolvera/live.sock","updatedAt":"2026-12-09T22:59:59.500Z"})");
    std::string text = StatusReport::read(directory.path(), now).toText(now);
    EXPECT_NE(text.find(followerLine + "following " + std::to_string(owner) + "'s water\n"),
              std::string::npos)
        << text;

    write(owner, R"({"mode":"live","ownsBus":true,"updatedAt":"2026-12-09T22:50:00.000Z"})");
    text = StatusReport::read(directory.path(), now).toText(now);
    EXPECT_NE(text.find(followerLine + "following the socket owner's water\n"), std::string::npos)
        << text;
}

TEST(StatusReport, SaysSoWhenNoSaverHasRun) {
    auto report = StatusReport::read("/nonexistent/status", 0);
    EXPECT_TRUE(report.processes.empty());
    EXPECT_EQ(report.toText(0), "No saver has run here: no status files in /nonexistent/status\n");
}

// No file, and no number of files, makes the report read without bound: a file over 64 KiB
// is skipped, the files are read until 1 MiB has been, and past 4,096 files they are counted.
TEST(StatusReport, ReadsWithinBounds) {
    TempDirectory directory;
    auto padded = [](std::size_t size) {
        std::string text = R"({"mode":"live"})";
        return text + std::string(size - text.size(), ' ');
    };
    fixtures::writeFile(directory.file("100.json"), padded((64 << 10) + 1));
    for (int pid = 101; pid <= 118; ++pid) {
        fixtures::writeFile(directory.file(std::to_string(pid) + ".json"), padded(64 << 10));
    }
    auto report = StatusReport::read(directory.path(), 0);
    ASSERT_EQ(report.processes.size(), 19u);
    EXPECT_EQ(report.processes[0].unreadable, "larger than 64 KiB");
    for (std::size_t index = 1; index <= 16; ++index) {
        ASSERT_TRUE(report.processes[index].status) << index;  // 16 × 64 KiB = 1 MiB
        EXPECT_EQ((*report.processes[index].status)["mode"], "live");
    }
    EXPECT_EQ(report.processes[17].unreadable, "not read: the status files before it passed 1 MiB");
    EXPECT_FALSE(report.processes[18].status);
    EXPECT_NE(report.toText(0).find("pid 100: unreadable status file " + directory.path() +
                                    "/100.json (larger than 64 KiB)\n"),
              std::string::npos);

    TempDirectory crowded;
    for (int pid = 1; pid <= 4100; ++pid) {
        fixtures::writeFile(crowded.file(std::to_string(pid) + ".json"), "{}");
    }
    report = StatusReport::read(crowded.path(), 0);
    EXPECT_EQ(report.processes.size(), 4096u);
    EXPECT_EQ(report.unlisted, 4u);
    EXPECT_EQ(report.toJson()["unlisted"], 4);
    EXPECT_NE(report.toText(0).find("\n4 more status files not shown\n"), std::string::npos);
}

// A status file's text reaches the terminal only as printable text: escape sequences, line
// breaks and bytes that are not UTF-8 show as U+FFFD.
TEST(StatusReport, PrintsOnlyPrintableText) {
    TempDirectory directory;
    fixtures::writeFile(
        directory.file(std::to_string(getpid()) + ".json"),
        R"({"mode":"\u001b[2J\u001b]0;owned\u0007live","ownsBus":true,"socketPath":"a\nb",)"
        R"("lastSignalEvent":"\u009b31mstop \u00e9","updatedAt":"1970-01-01T00:00:00.000Z"})");
    std::string text = StatusReport::read(directory.path(), 0).toText(0);
    const std::string mark = "\xEF\xBF\xBD";
    EXPECT_NE(text.find("mode " + mark + "[2J" + mark + "]0;owned" + mark +
                        "live, owns the socket a" + mark + "b\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("(last " + mark + "31mstop \xC3\xA9)"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
}

// Where signals can reach no saver, the status says why rather than only "ambient".
TEST(StatusReport, SaysWhySignalsGoNowhere) {
    TempDirectory home;
    const std::string folder = home.file(".tolvera");
    mkdir(folder.c_str(), 0700);
    EXPECT_EQ(signalPathProblems(folder + "/live.sock"), std::vector<std::string>{});

    mkdir((folder + "/l.replay.json").c_str(), 0700);
    fixtures::writeFile(home.file("plain"), "a file where the folder should be");
    const std::string deep = home.path() + "/" + std::string(119 - home.path().size(), 'd');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {folder + "/live.sock",
         {folder + "/l.replay.json is not a file: signals sent while no saver listens are lost"}},
        {home.file("plain/live.sock"), {home.file("plain") + " is not a folder"}},
        {deep + "/live.sock",
         {"the socket path is 130 bytes, and a Unix socket's may be 107 at most: no saver can "
          "bind " +
          deep + "/live.sock"}},
    };
    for (const auto& [socket, problems] : cases) {
        EXPECT_EQ(signalPathProblems(socket), problems) << socket;
    }
}

}  // namespace
}  // namespace floodmark
