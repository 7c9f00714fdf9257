// Which users a saver hears on its socket: its own, and root (a rootful container's hooks);
// any other user is refused and counted.
#include "FloodmarkSaver/live/LiveBus.h"
#include "support/NobodyPlace.h"
#include "support/RunFloodmark.h"
#include "support/StatusCount.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

constexpr const char* asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
constexpr const char* asThirdUser = "setpriv --reuid=65533 --regid=65533 --clear-groups";

// A saver of user nobody: its home is nobody's, and its binaries are copied where nobody can
// run them. Root's hooks come as a rootful container's do, through the bind-mounted folder.
TEST(PeerUsers, RootIsHeardAndAnotherUserIsRefusedAndCounted) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "acts as three users, which needs root";
    }
    TempDirectory place;
    ASSERT_TRUE(fixtures::layOutForNobody(place));
    // The socket's folder is the user's, as a container's bind mount finds it.
    mkdir(place.file("home/.tolvera").c_str(), 0700);
    ASSERT_EQ(std::system(("chown -R 65534:65534 " + place.file("home")).c_str()), 0);
    const std::string home = place.file("home");
    const std::string floodmark = place.file("bin/floodmark");
    // Held by root while no saver runs, the signal is left to the folder's owner to replay.
    auto held = fixtures::runFloodmark("signal --event tool_call --tool t --session held", home);
    EXPECT_EQ(held.status, 0);

    pid_t saver = fork();
    if (saver == 0) {
        int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        execl("/bin/sh", "sh", "-c",
              ("exec " + std::string(asNobody) + " env -i HOME=" + home + " " + floodmark +
               " frames --interval 0.25")
                  .c_str(),
              nullptr);
        _exit(127);
    }
    const std::string socketPath = home + "/.tolvera/live.sock";
    ASSERT_TRUE(fixtures::waitUntil([&] { return LiveBus::somethingListens(socketPath); }));

    auto root = fixtures::runFloodmark("signal --event tool_call --tool t --session root", home);
    EXPECT_EQ(root.status, 0);
    // Open the way, so that only the check of the peer stands between the third user and the
    // saver.
    chmod(home.c_str(), 0711);
    chmod((home + "/.tolvera").c_str(), 0711);
    chmod(socketPath.c_str(), 0666);
    std::system((std::string(asThirdUser) + " env -i HOME=" + home + " " + floodmark +
                 " signal --event tool_call --tool t --session other >/dev/null 2>&1")
                    .c_str());

    auto count = [&](const char* key) { return fixtures::statusCount(home, saver, key); };
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return count("signals") >= 1 && count("refusedPeers") >= 1; }));
    EXPECT_EQ(count("signals"), 1);
    EXPECT_EQ(count("refusedPeers"), 1);
    EXPECT_EQ(count("replayed"), 1);
    auto status = fixtures::runFloodmark("status", home);
    std::string text;
    for (const auto& line : status.lines) {
        text += line + "\n";
    }
    EXPECT_NE(text.find("  refused connections of other users: 1 ("), std::string::npos) << text;

    kill(saver, SIGTERM);
    waitpid(saver, nullptr, 0);
}

}  // namespace
}  // namespace floodmark
