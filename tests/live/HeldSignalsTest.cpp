#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

// What the status files of a home say was replayed, across every process that ran there.
long long replayedIn(const std::string& home) {
    std::string directory = home + "/.local/state/TolveraFloodmarkSaver/status";
    long long replayed = 0;
    DIR* listing = opendir(directory.c_str());
    while (const dirent* entry = listing ? readdir(listing) : nullptr) {
        std::ifstream file(directory + "/" + entry->d_name);
        std::stringstream text;
        text << file.rdbuf();
        auto status = nlohmann::json::parse(text.str(), nullptr, false);
        if (status.is_object())
            replayed += status.value("replayed", 0LL);
    }
    if (listing != nullptr)
        closedir(listing);
    return replayed;
}

// Fifty processes hold signals at once with no saver: none is lost to a lost update or to a
// writer giving up on the lock, and the saver that comes next replays every one.
TEST(HeldSignals, FiftyConcurrentHoldersLoseNothingAndTheNextSaverReplaysAll) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int perProcess = 6;  // a sanitized process starts ten times slower
#else
    const int perProcess = 20;
#endif
    const std::size_t total = 50 * perProcess;
    TempDirectory home;
    std::string command =
        "cd " + home.path() + " && for k in $(seq 1 50); do (for i in $(seq 1 " +
        std::to_string(perProcess) + "); do HOME=" + home.path() + " " + FLOODMARK_BINARY +
        " signal --event tool_call --tool agent --session s$k-$i || echo lost; done) & done; wait";
    auto run = fixtures::runCommand(command);
    EXPECT_EQ(run.lines, std::vector<std::string>{});  // no "lost"

    auto held = SaverReplay::read(home.file(".tolvera/l.replay.json"), currentTime());
    std::set<std::string> sessions;
    for (const auto& entry : held)
        sessions.insert(entry.signal.session);
    EXPECT_EQ(held.size(), total);
    EXPECT_EQ(sessions.size(), total);
    struct stat file {};
    ASSERT_EQ(stat(home.file(".tolvera/l.replay.json").c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);  // what agents did is nobody else's to read

    auto saver = fixtures::runFloodmark("frames --count 1", home.path());
    EXPECT_EQ(saver.status, 0);
    EXPECT_EQ(replayedIn(home.path()), static_cast<long long>(total));
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/l.replay.json")));
}

// Sixteen hooks holding at once into a file at its size cap all land, in a file the reader
// still takes whole; the oldest entries made the room.
TEST(HeldSignals, SixteenHoldsAtTheCapAllLand) {
    TempDirectory home;
    std::string path = home.file(".tolvera/l.replay.json");
    ASSERT_EQ(mkdir(home.file(".tolvera").c_str(), 0700), 0);
    const long long nowMs = static_cast<long long>(currentTime() * 1000);
    std::string file = R"({"schema":1,"signals":[)";
    for (int index = 0; file.size() < HeldSignals::maxKeptBytes - 200; ++index) {
        if (index > 0)
            file += ',';
        file += R"({"event":"tool_call","tool":"agent","session":"old)" + std::to_string(index) +
                R"(","at":)" + std::to_string(nowMs - 60000) + "}";
    }
    file += "]}\n";
    fixtures::writeFile(path, file);
    // A rewrite that a killed writer left half done goes too.
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    std::string leftover = path + ".fmtmp-" + std::to_string(gone) + "-abcdef";
    fixtures::writeFile(leftover, file);
    timespec twoMinutesAgo[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
    utimensat(AT_FDCWD, leftover.c_str(), twoMinutesAgo, 0);

    std::string command =
        "cd " + home.path() + " && for k in $(seq 1 16); do HOME=" + home.path() + " " +
        FLOODMARK_BINARY +
        " signal --event stop --tool agent --session new$k || echo lost & done; wait";
    auto run = fixtures::runCommand(command);
    EXPECT_EQ(run.lines, std::vector<std::string>{});

    auto held = SaverReplay::read(path, currentTime());
    std::set<std::string> landed;
    for (const auto& entry : held) {
        if (entry.signal.session.starts_with("new"))
            landed.insert(entry.signal.session);
    }
    EXPECT_EQ(landed.size(), 16u);
    EXPECT_GT(held.size(), 1000u);  // the file was trimmed, not started afresh
    struct stat written {};
    ASSERT_EQ(stat(path.c_str(), &written), 0);
    EXPECT_LE(static_cast<std::size_t>(written.st_size), HeldSignals::maxKeptBytes);
    EXPECT_FALSE(fixtures::fileExists(leftover));
}

// The file keeps the last half hour within its size cap, and a file the reader would reject
// as a whole (a stray element) is mended rather than left to swallow every new signal.
TEST(HeldSignals, KeepsTheWindowAndTheCap) {
    TempDirectory directory;
    std::string path = directory.file("l.replay.json");
    fixtures::writeFile(path, R"({"schema":1,"signals":[7,
        {"at":1000000,"event":"stop","tool":"a","session":"old"},
        {"at":2799000,"event":"stop","tool":"a","session":"kept"}]})");
    const double now = 4000;  // seconds: the first entry is 3,000 s old, the second 1,201 s
    ASSERT_TRUE(
        HeldSignals::add(path, {{"event", "tool_call"}, {"tool", "a"}, {"session", "new"}}, now));
    auto held = SaverReplay::read(path, now);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].signal.session, "kept");
    EXPECT_EQ(held[1].signal.session, "new");
    EXPECT_DOUBLE_EQ(held[1].at, 4000);

    // A full file of this writer's own is split without the parser: quotes, commas and
    // brackets inside strings stay where they are, and the window still holds.
    const std::string tricky = R"(a,\"b\"]},{)";
    const std::string filler(HeldSignals::maxKeptBytes - 300, 'x');
    fixtures::writeFile(
        path, R"({"schema":1,"signals":[{"at":1000000,"event":"stop","note":")" + filler +
                  R"(","session":"old","tool":"a"},{"at":2799000,"event":"stop","session":")" +
                  tricky + R"(","tool":"a"}]})" + "\n");
    ASSERT_TRUE(
        HeldSignals::add(path, {{"event", "stop"}, {"tool", "a"}, {"session", "next"}}, now));
    held = SaverReplay::read(path, now);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].signal.session, R"(a,"b"]},{)");
    EXPECT_EQ(held[1].signal.session, "next");

    // Big entries push the oldest out long before the reader's 4 MiB.
    const std::string big(100000, 'x');
    for (int index = 0; index < 40; ++index) {
        HeldSignals::add(path,
                         {{"event", "tool_call"},
                          {"tool", "a"},
                          {"session", "big" + std::to_string(index)},
                          {"note", big}},
                         now);
    }
    held = SaverReplay::read(path, now);
    EXPECT_GT(held.size(), 20u);
    EXPECT_LT(held.size(), 40u);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.back().signal.session, "big39");
}

}  // namespace
}  // namespace floodmark
