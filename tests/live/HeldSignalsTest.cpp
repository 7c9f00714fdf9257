#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>

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
        if (status.is_object()) replayed += status.value("replayed", 0LL);
    }
    if (listing != nullptr) closedir(listing);
    return replayed;
}

// Eight processes hold signals at once with no saver: none is lost to a lost update, and the
// saver that comes next replays every one.
TEST(HeldSignals, ConcurrentHoldersLoseNothingAndTheNextSaverReplaysAll) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int perProcess = 40;  // a sanitized process starts ten times slower
#else
    const int perProcess = 125;
#endif
    const std::size_t total = 8 * perProcess;
    TempDirectory home;
    std::string command = "cd " + home.path() + " && for k in 1 2 3 4 5 6 7 8; do (for i in $(seq 1 " +
                          std::to_string(perProcess) + "); do HOME=" + home.path() + " " + FLOODMARK_BINARY +
                          " signal --event tool_call --tool agent --session s$k-$i; done) & done; wait";
    ASSERT_EQ(std::system(command.c_str()), 0);

    auto held = SaverReplay::read(home.file(".tolvera/l.replay.json"), currentTime());
    std::set<std::string> sessions;
    for (const auto& entry : held) sessions.insert(entry.signal.session);
    EXPECT_EQ(held.size(), total);
    EXPECT_EQ(sessions.size(), total);

    auto run = fixtures::runFloodmark("frames --count 1", home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(replayedIn(home.path()), static_cast<long long>(total));
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/l.replay.json")));
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
    ASSERT_TRUE(HeldSignals::add(path, {{"event", "tool_call"}, {"tool", "a"}, {"session", "new"}}, now));
    auto held = SaverReplay::read(path, now);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].signal.session, "kept");
    EXPECT_EQ(held[1].signal.session, "new");
    EXPECT_DOUBLE_EQ(held[1].at, 4000);

    // Big entries push the oldest out long before the reader's 4 MiB.
    const std::string big(100000, 'x');
    for (int index = 0; index < 40; ++index) {
        HeldSignals::add(path, {{"event", "tool_call"}, {"tool", "a"}, {"session", "big" + std::to_string(index)}, {"note", big}}, now);
    }
    held = SaverReplay::read(path, now);
    EXPECT_GT(held.size(), 20u);
    EXPECT_LT(held.size(), 40u);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.back().signal.session, "big39");
}

}  // namespace
}  // namespace floodmark
