// Signals held while no saver listens: the file's format and bounds, holds that never wait on
// another process and lose nothing, and the replay that takes each one once.
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/SignalSender.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/Time.h"
#include "support/FeedSettings.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

namespace floodmark {
namespace {

// `prefix` then `index`, built by appending: GCC 12 at -O3 warns of an overlap in a literal
// added to a string made on the spot.
std::string numbered(std::string_view prefix, int index) {
    std::string name(prefix);
    name += std::to_string(index);
    return name;
}

using fixtures::fileExists;
using fixtures::TempDirectory;
using fixtures::writeFile;

constexpr double now = 1'700'000'000;
const std::string head = R"({"schema":1,"signals":[)";

// A held entry for `session`, recorded `secondsAgo` before `now`, as a writer stamps it.
std::string entry(const std::string& session, double secondsAgo = 1,
                  const std::string& event = "tool_call") {
    return R"({"at":)" + std::to_string(static_cast<long long>((now - secondsAgo) * 1000)) +
           R"(,"event":")" + event + R"(","session":")" + session + R"(","tool":"agent"})";
}

std::vector<std::string> sessionsOf(const std::vector<HeldSignals::HeldSignal>& held) {
    std::vector<std::string> sessions;
    for (const auto& signal : held) {
        sessions.push_back(signal.signal.session);
    }
    return sessions;
}

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

nlohmann::json signalOf(const std::string& session) {
    return {{"event", "tool_call"}, {"tool", "agent"}, {"session", session}};
}

TEST(HeldSignals, TheFileSitsBesideTheSocket) {
    EXPECT_EQ(HeldSignals::path("/home/ana/.tolvera/live.sock"),
              "/home/ana/.tolvera/l.replay.json");
    EXPECT_EQ(HeldSignals::path("/Users/ana/Library/Containers/x/Data/l.sock"),
              "/Users/ana/Library/Containers/x/Data/l.replay.json");
    EXPECT_EQ(HeldSignals::path("/live.sock"), "/l.replay.json");
}

// What a reader takes from a file, whoever wrote it.
TEST(HeldSignals, TheReaderKeepsEveryWholeEntryOfTheWindow) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        // Oldest first; equal stamps keep their file order.
        {head + entry("late", 10, "stop") + "," + entry("early", 20) + "," +
             entry("tie", 10, "compaction") + "]}",
         {"early", "late", "tie"}},
        // The window is 1800 s, and nothing from the future but a hold that landed while
        // the saver took (5 s at most); a string stamp, a ping, an unknown event, a missing
        // tool and a stray number are skipped, the rest kept.
        {head + entry("edge", 1800) + "," + entry("old", 1800.5) + "," + entry("future", -6) +
             "," + entry("late", -4) +
             R"(,{"at":"1699999999000","event":"stop","tool":"a","session":"text"},)" +
             entry("ping", 5, "ping") + "," + entry("teleport", 5, "teleport") +
             R"(,{"at":1699999999000,"event":"stop","session":"toolless"},7,)" +
             entry("kept", 3) + "]}",
         {"edge", "kept", "late"}},
        // A write torn off keeps every whole entry before the tear, quotes, commas and
        // brackets inside strings where they are.
        {head + entry(R"(a,\"b\"]},{)") + "," + entry("second") + R"(,{"at":1699999999)",
         {R"(a,"b"]},{)", "second"}},
        // Another writer's spacing, 1.0 for the schema: through the JSON parser.
        {R"({ "signals": [ )" + entry("spaced") + R"( ], "schema": 1.0 })", {"spaced"}},
        {R"({"schema":2,"signals":[)" + entry("s") + "]}", {}},
        {R"({"schema":"1","signals":[)" + entry("s") + "]}", {}},
        {R"({"signals":[)" + entry("s") + "]}", {}},
        {R"({"schema":1,"signals":{}})", {}},
        {R"([1])", {}},
        {head + entry("s") + "]}" + std::string(HeldSignals::maxFileBytes, ' '), {}},
    };
    TempDirectory directory;
    for (const auto& [content, sessions] : cases) {
        SCOPED_TRACE(content.substr(0, 200));
        writeFile(directory.file("l.replay.json"), content);
        EXPECT_EQ(sessionsOf(HeldSignals::read(directory.file("l.replay.json"), now)), sessions);
    }
    EXPECT_TRUE(fileExists(directory.file("l.replay.json")));  // reading leaves it alone
    EXPECT_TRUE(HeldSignals::read(directory.file("missing.json"), now).empty());
    EXPECT_TRUE(HeldSignals::read(directory.path(), now).empty());  // a directory

    writeFile(directory.file("l.replay.json"),
              head + R"({"event":"stop","tool":"a","session":"s","at":1700000000000}]})");
    auto held = HeldSignals::read(directory.file("l.replay.json"), 1700000000 + 60);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].at, 1700000000);  // milliseconds since 1970: 2023-11-14 22:13:20 UTC
}

// A write torn by a full disk, in the file or in the journal, costs no entry written before it;
// a hold onto a torn file keeps them too, where it used to start the file afresh.
TEST(HeldSignals, ATornWriteCostsNoWholeEntry) {
    TempDirectory directory;
    std::string replay = directory.file("l.replay.json");
    writeFile(replay, head + entry("one") + "," + entry("two") + R"(,{"at":1699999999000,"ev)");
    writeFile(HeldSignals::journalPath(replay),
              entry("three") + "\n" + R"({"at":1699999999500,"event":"to)" + entry("four") +
                  "\n" + entry("five") + "\n" + R"({"at":1699999999700,"eve)");
    ASSERT_TRUE(HeldSignals::hold(replay, signalOf("six"), now));
    EXPECT_EQ(sessionsOf(HeldSignals::read(replay, now)),
              (std::vector<std::string>{"one", "two", "three", "four", "five", "six"}));
    EXPECT_FALSE(fileExists(HeldSignals::journalPath(replay)));
}

// A hold whose write a full disk cuts short (here a file size limit) leaves the file byte for
// byte as it was and the signal in the journal, for the next hold to fold in.
TEST(HeldSignals, AFailedWriteLeavesTheFileAsItWas) {
    TempDirectory home;
    std::string replay = home.file(".tolvera/l.replay.json");
    ASSERT_EQ(mkdir(home.file(".tolvera").c_str(), 0700), 0);
    const std::string before = head + entry("one") + "," + entry("two") + "]}\n";
    writeFile(replay, before);
    pid_t limited = fork();
    if (limited == 0) {
        rlimit limit{before.size() + 20, before.size() + 20};
        signal(SIGXFSZ, SIG_IGN);
        bool held = setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                    SignalSender(home.file(".tolvera/live.sock"))
                            .send(signalOf("cut"), now - 0.5) == SignalSender::Outcome::held;
        _exit(held ? 0 : 1);
    }
    int status = -1;
    waitpid(limited, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(contentOf(replay), before);
    ASSERT_TRUE(HeldSignals::hold(replay, signalOf("next"), now));
    EXPECT_EQ(sessionsOf(HeldSignals::take(replay, now)),
              (std::vector<std::string>{"one", "two", "cut", "next"}));
}

// A process that holds the lock and is stopped there (a hook suspended with Ctrl-Z) costs a
// hold nothing: it completes, and what it held is taken; the journal it writes meanwhile stays
// bounded, keeping the newest.
TEST(HeldSignals, AStoppedLockHolderCostsAHoldNothing) {
    TempDirectory home;
    std::string replay = home.file(".tolvera/l.replay.json");
    ASSERT_EQ(mkdir(home.file(".tolvera").c_str(), 0700), 0);
    writeFile(replay, head + entry("before") + "]}\n");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int lock = open(HeldSignals::lockPath(replay).c_str(), O_RDWR | O_CREAT, 0600);
        bool locked = flock(lock, LOCK_EX) == 0;
        (void)!write(ready[1], locked ? "y" : "n", 1);
        raise(SIGSTOP);
        _exit(0);
    }
    char locked = 0;
    ASSERT_EQ(read(ready[0], &locked, 1), 1);
    ASSERT_EQ(locked, 'y');
    auto run = fixtures::runCommand("HOME=" + home.path() + " " + FLOODMARK_BINARY +
                                    " signal --event stop --tool agent --session hook");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, std::vector<std::string>{});
    EXPECT_NE(contentOf(HeldSignals::journalPath(replay)).find(R"("session":"hook")"),
              std::string::npos);
    const int many = 3 * static_cast<int>(HeldSignals::maxJournalBytes / 90);
    for (int index = 0; index < many; ++index) {
        double at = now - (many - index) * 0.01;  // one stamp each, all within the window
        ASSERT_TRUE(HeldSignals::hold(replay, signalOf(numbered("s", index)), at));
    }
    struct stat journal {};
    ASSERT_EQ(stat(HeldSignals::journalPath(replay).c_str(), &journal), 0);
    EXPECT_LE(static_cast<std::size_t>(journal.st_size), HeldSignals::maxJournalBytes);
    auto taken = sessionsOf(HeldSignals::take(replay, now));  // the file waits for the lock
    ASSERT_FALSE(taken.empty());
    EXPECT_EQ(taken.back(), "s" + std::to_string(many - 1));
    EXPECT_LT(taken.size(), static_cast<std::size_t>(many));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(sessionsOf(HeldSignals::take(replay, now)), std::vector<std::string>{"before"});
    EXPECT_FALSE(HeldSignals::waiting(replay));
}

// Writers in many processes and takes in between: every signal is taken exactly once.
TEST(HeldSignals, ConcurrentHoldsAndTakesCountEverySignalOnce) {
    TempDirectory directory;
    std::string replay = directory.file("l.replay.json");
    const int writers = 8;
    const int perWriter = 300;
    std::vector<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        pid_t child = fork();
        if (child == 0) {
            bool all = true;
            for (int index = 0; index < perWriter; ++index) {
                all = HeldSignals::hold(replay, signalOf(std::to_string(writer * 1000 + index)),
                                        now) && all;
            }
            _exit(all ? 0 : 1);
        }
        children.push_back(child);
    }
    std::map<std::string, int> seen;
    auto takeAll = [&] {
        for (const auto& session : sessionsOf(HeldSignals::take(replay, now))) {
            ++seen[session];
        }
    };
    int exited = 0;
    while (exited < writers) {
        takeAll();
        int status = -1;
        if (pid_t child = waitpid(-1, &status, WNOHANG); child > 0) {
            EXPECT_EQ(status, 0);
            ++exited;
        }
    }
    while (HeldSignals::waiting(replay)) {
        takeAll();  // a file left behind a fold's lock is taken once the lock is free
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(writers * perWriter));
    for (const auto& [session, times] : seen) {
        ASSERT_EQ(times, 1) << session;
    }
}

// The writers keep the half hour within the cap: a file at the cap is trimmed from its oldest
// end, and what is older than the window goes.
TEST(HeldSignals, HoldsKeepTheWindowAndTheCap) {
    TempDirectory directory;
    std::string replay = directory.file("l.replay.json");
    std::string file = head + entry("stale", 3000);
    for (int index = 0; file.size() < HeldSignals::maxKeptBytes - 60; ++index) {
        file += ',';
        file += entry(numbered("old", index), 60);
    }
    writeFile(replay, file + "]}\n");
    ASSERT_TRUE(HeldSignals::hold(replay, signalOf("new"), now));
    struct stat written {};
    ASSERT_EQ(stat(replay.c_str(), &written), 0);
    EXPECT_LE(static_cast<std::size_t>(written.st_size), HeldSignals::compactedBytes);
    EXPECT_EQ(written.st_mode & 0777, 0600u);  // what agents did is nobody else's to read
    auto held = sessionsOf(HeldSignals::read(replay, now));
    ASSERT_GT(held.size(), 1000u);  // trimmed, not started afresh
    EXPECT_EQ(held.back(), "new");
    EXPECT_NE(held.front(), "old0");
    EXPECT_EQ(std::count(held.begin(), held.end(), "stale"), 0);
}

// What the status files of a home say was replayed, across every process that ran there.
long long replayedIn(const std::string& home) {
    std::string directory = home + "/.local/state/TolveraFloodmarkSaver/status";
    long long replayed = 0;
    DIR* listing = opendir(directory.c_str());
    while (const dirent* found = listing ? readdir(listing) : nullptr) {
        auto status = nlohmann::json::parse(contentOf(directory + "/" + found->d_name), nullptr,
                                            false);
        if (status.is_object()) {
            replayed += status.value("replayed", 0LL);
        }
    }
    if (listing != nullptr) {
        closedir(listing);
    }
    return replayed;
}

// Fifty hooks hold signals at once with no saver: none is lost, and the saver that comes next
// replays every one and leaves nothing behind.
TEST(HeldSignals, FiftyConcurrentHookProcessesAndTheNextSaverLoseNothing) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int perProcess = 6;  // a sanitized process starts ten times slower
#else
    const int perProcess = 20;
#endif
    TempDirectory home;
    std::string command =
        "cd " + home.path() + " && for k in $(seq 1 50); do (for i in $(seq 1 " +
        std::to_string(perProcess) + "); do HOME=" + home.path() + " " + FLOODMARK_BINARY +
        " signal --event tool_call --tool agent --session s$k-$i || echo lost; done) & done; wait";
    auto run = fixtures::runCommand(command);
    EXPECT_EQ(run.lines, std::vector<std::string>{});  // no "lost"
    auto saver = fixtures::runFloodmark("frames --count 1", home.path());
    EXPECT_EQ(saver.status, 0);
    EXPECT_EQ(replayedIn(home.path()), 50LL * perProcess);
    EXPECT_FALSE(HeldSignals::waiting(home.file(".tolvera/l.replay.json")));
}

// Signals held while the socket's owner could not take them (stopped, or too slow to read) are
// replayed by that owner within a second, not only at the next bind.
TEST(HeldSignals, TheOwnerReplaysWhatWasHeldOnceASecond) {
    TempDirectory directory;
    auto status = std::make_shared<SaverStatus>(directory.file("status"), 77);
    const double t0 = currentTime();
    auto feed =
        std::make_shared<FloodmarkFeed>(fixtures::isolatedSettings(directory, false, status), t0);
    feed->start();
    ASSERT_TRUE(feed->ownsBus());
    feed->step(t0 + 1, false);

    const std::string replay = HeldSignals::path(directory.file("live.sock"));
    ASSERT_TRUE(HeldSignals::hold(replay, signalOf("s1"), t0 + 1.5));
    feed->step(t0 + 2.1, false);
    EXPECT_FALSE(HeldSignals::waiting(replay));
    EXPECT_EQ(feed->aggregator().activeSessionCount(), 1u);
    EXPECT_EQ(status->record().replayed, 1);

    ASSERT_TRUE(HeldSignals::hold(replay, signalOf("s2"), t0 + 2.2));
    feed->step(t0 + 2.5, false);  // looked for at most once a second
    EXPECT_TRUE(HeldSignals::waiting(replay));
    feed->step(t0 + 3.2, false);
    EXPECT_FALSE(HeldSignals::waiting(replay));
    EXPECT_EQ(feed->aggregator().activeSessionCount(), 2u);
    EXPECT_EQ(status->record().replayed, 2);
    feed->stop();
}

}  // namespace
}  // namespace floodmark
