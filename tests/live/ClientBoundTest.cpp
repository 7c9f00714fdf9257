// Idle clients never take the descriptors a good hook needs, however low the descriptor limit.
#include "FloodmarkSaver/live/LiveBus.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

TEST(ClientBound, LeavesSixteenDescriptorsBeyondThoseOpen) {
    struct Case {
        std::size_t limit;
        std::size_t open;
        std::size_t bound;
    };
    const Case cases[] = {
        {1024, 20, 256}, {SIZE_MAX, 20, 256}, {64, 20, 28}, {64, 47, 1}, {64, 48, 1}, {10, 30, 1},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(LiveBus::clientBoundFor(testCase.limit, testCase.open), testCase.bound)
            << testCase.limit << " " << testCase.open;
    }
}

// A connection that never writes, or -1 when the server has not taken it within half a second
// (a full backlog).
int idleClient(const std::string& path) {
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{.tv_sec = 0, .tv_usec = 500000};
    setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

// A saver started under `ulimit -n 64` while 100 idle clients hold connections still hears a
// hook: the idle ones make room, where before the saver ran out of descriptors and accepted
// nothing more.
TEST(ClientBound, AGoodHookLandsUnderALowDescriptorLimit) {
    TempDirectory home;
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 64;
    setrlimit(RLIMIT_NOFILE, &low);
    fixtures::RunningFloodmark saver({"frames", "--interval", "0.25"}, home.path());
    setrlimit(RLIMIT_NOFILE, &saved);
    std::string line;
    ASSERT_TRUE(saver.nextLine(line));  // bound by its first frame

    const std::string socketPath = home.file(".tolvera/live.sock");
    std::vector<int> idle;
    for (int descriptor; idle.size() < 100 && (descriptor = idleClient(socketPath)) >= 0;) {
        idle.push_back(descriptor);
    }
    const std::string statusPath = home.file(".local/state/TolveraFloodmarkSaver/status/") +
                                   std::to_string(saver.pid()) + ".json";
    auto signals = [&] {
        auto status = nlohmann::json::parse(std::ifstream(statusPath), nullptr, false);
        return status.is_object() ? status.value("signals", 0) : 0;
    };
    // The backlog may be full the moment a hook comes; a later one must get through.
    bool landed = fixtures::waitUntil(
        [&] {
            fixtures::runFloodmark("signal --event tool_call --tool t --session good", home.path());
            return fixtures::waitUntil([&] { return signals() >= 1; }, std::chrono::seconds(3));
        },
        std::chrono::seconds(12));
    EXPECT_TRUE(landed);
    EXPECT_EQ(idle.size(), 100u);  // none waits on a saver out of descriptors
    for (int descriptor : idle) {
        close(descriptor);
    }
    saver.stop(SIGTERM);
}

}  // namespace
}  // namespace floodmark
