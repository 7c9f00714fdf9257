// A saver that binds while many hooks are holding signals: each signal reaches it once, by the
// socket or by a replay, whichever way the race between the hook and the bind falls.
#include "feed/FeedEngineFixture.h"

#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/SignalSender.h"

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace floodmark {
namespace {

TEST_F(FeedEngineTest, ASaverThatBindsAmidHoldsCountsEverySignalOnce) {
    const int writers = 40;
    const int perWriter = 60;
    std::vector<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        pid_t child = fork();
        if (child == 0) {
            SignalSender sender(settings().socketPath);
            // Appended, not added on the spot: GCC 12 at -O3 warns of an overlap there.
            std::string session = "w";
            session += std::to_string(writer);
            bool all = true;
            for (int index = 0; index < perWriter; ++index) {
                nlohmann::json signal = {
                    {"event", "tool_call"}, {"tool", "agent"}, {"session", session}};
                all = sender.send(signal, currentTime()) != SignalSender::Outcome::lost && all;
                usleep(2000);
            }
            _exit(all ? 0 : 1);
        }
        children.push_back(child);
    }
    // Most writers are holding by now, and go on while the feed binds and replays.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto feed = makeFeed();
    feed->start();
    ASSERT_TRUE(feed->ownsBus());
    auto counted = [&] { return status->record().signals + status->record().replayed; };
    auto stepped = [&] {
        MainLoop::main().runUntilIdle();
        feed->step(currentTime(), false);
    };
    for (pid_t child : children) {
        while (waitpid(child, nullptr, WNOHANG) == 0) {
            stepped();
        }
    }
    // What was held after the last look is replayed at the next, a second on.
    const std::string replay = HeldSignals::path(settings().socketPath);
    EXPECT_TRUE(fixtures::waitUntil([&] {
        stepped();
        return counted() >= writers * perWriter && !HeldSignals::waiting(replay);
    }));
    // A second more, for a signal counted twice to show.
    for (double end = currentTime() + 1.2; currentTime() < end;) {
        stepped();
    }
    EXPECT_EQ(counted(), writers * perWriter);
    feed->stop();
}

}  // namespace
}  // namespace floodmark
