// Agents on another machine reach this machine's saver through a socket that OpenSSH forwards
// (`ssh -R`): a real sshd on 127.0.0.1 plays the other machine, a second home its user's.
#include "FloodmarkSaver/live/LiveBus.h"
#include "support/Processes.h"
#include "support/RunFloodmark.h"
#include "support/StatusCount.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

constexpr const char* sshd = "/usr/sbin/sshd";

// A TCP port on 127.0.0.1 that nothing used a moment ago; 0 when none could be had.
int freePort() {
    int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(probe);
    return port;
}

bool accepts(int port) {
    int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool connected = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(client);
    return connected;
}

std::string contentOf(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path).rdbuf();
    return content.str();
}

// An sshd of its own on 127.0.0.1, which lets this user in with a key of the test's.
class LoopbackSshd {
public:
    explicit LoopbackSshd(const TempDirectory& place) : place_(place) {
        if (access(sshd, X_OK) != 0 || (port_ = freePort()) == 0) {
            return;
        }
        if (geteuid() == 0) {
            mkdir("/run/sshd", 0755);  // the privilege separation directory sshd insists on
        }
        for (const char* key : {"host_key", "user_key"}) {
            if (std::system(("ssh-keygen -q -t ed25519 -N '' -f " + place.file(key)).c_str()) !=
                0) {
                return;
            }
        }
        fixtures::writeFile(place.file("sshd_config"),
                            "ListenAddress 127.0.0.1\nPort " + std::to_string(port_) +
                                "\nHostKey " + place.file("host_key") + "\nAuthorizedKeysFile " +
                                place.file("user_key.pub") +
                                "\nPidFile none\nUsePAM no\nStrictModes no\n"
                                "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                "AllowStreamLocalForwarding yes\nStreamLocalBindUnlink yes\n");
        pid_ = fixtures::spawnProcess(
            {sshd, "-D", "-f", place.file("sshd_config"), "-E", place.file("sshd.log")});
        fixtures::waitUntil([&] { return accepts(port_) || !fixtures::processAlive(pid_); });
    }
    ~LoopbackSshd() { fixtures::endProcess(pid_); }

    bool running() const { return pid_ > 0 && fixtures::processAlive(pid_) && accepts(port_); }
    std::string log() const { return contentOf(place_.file("sshd.log")); }

    // `ssh -N -R remote:local` as this user, until it is ended.
    pid_t forward(const std::string& remote, const std::string& local) const {
        std::vector<std::string> command = {"ssh",       "-F",
                                            "/dev/null", "-N",
                                            "-p",        std::to_string(port_),
                                            "-i",        place_.file("user_key"),
                                            "-E",        place_.file("ssh.log"),
                                            "-R",        remote + ":" + local};
        for (const char* option : {"IdentitiesOnly=yes", "BatchMode=yes",
                                   "StrictHostKeyChecking=no", "UserKnownHostsFile=/dev/null",
                                   "GlobalKnownHostsFile=/dev/null", "ExitOnForwardFailure=yes"}) {
            command.insert(command.end(), {"-o", option});
        }
        command.push_back(std::string(getpwuid(geteuid())->pw_name) + "@127.0.0.1");
        return fixtures::spawnProcess(command);
    }

private:
    const TempDirectory& place_;
    int port_ = 0;
    pid_t pid_ = -1;
};

TEST(ForwardedSocket, AHookOnTheFarSideRaisesThisSaversCountAndIsHeldWhileTheTunnelIsDown) {
    TempDirectory place;
    LoopbackSshd server(place);
    if (!server.running()) {
        GTEST_SKIP() << "no OpenSSH server could start on 127.0.0.1: " << server.log();
    }
    TempDirectory localHome;
    TempDirectory remoteHome;
    fixtures::RunningFloodmark saver({"frames", "--interval", "0.25"}, localHome.path());
    const std::string localSocket = localHome.file(".tolvera/live.sock");
    const std::string remoteSocket = remoteHome.file(".tolvera/live.sock");
    ASSERT_TRUE(fixtures::waitUntil([&] { return LiveBus::somethingListens(localSocket); }));
    // sshd binds the far socket but makes no folder for it.
    mkdir(remoteHome.file(".tolvera").c_str(), 0700);

    const std::string hook = "hook --from claude-code < " + std::string(FLOODMARK_HOOK_PAYLOADS) +
                             "/claude-code-pre-tool-use.json";
    auto signals = [&] { return fixtures::statusCount(localHome.path(), saver.pid(), "signals"); };
    // The second tunnel finds the first one's socket file left behind: sshd replaces it.
    for (std::int64_t tunnel = 1; tunnel <= 2; ++tunnel) {
        pid_t ssh = server.forward(remoteSocket, localSocket);
        ASSERT_TRUE(fixtures::waitUntil([&] {
            return LiveBus::somethingListens(remoteSocket) || !fixtures::processAlive(ssh);
        }));
        ASSERT_TRUE(fixtures::processAlive(ssh)) << contentOf(place.file("ssh.log"));
        EXPECT_EQ(fixtures::runFloodmark(hook, remoteHome.path()).status, 0);
        EXPECT_TRUE(fixtures::waitUntil([&] { return signals() >= tunnel; })) << tunnel;
        EXPECT_FALSE(fixtures::fileExists(remoteHome.file(".tolvera/l.replay.json")));

        fixtures::endProcess(ssh);
        ASSERT_TRUE(fixtures::waitUntil([&] { return !LiveBus::somethingListens(remoteSocket); }));
        ASSERT_TRUE(fixtures::fileExists(remoteSocket));  // left behind, answering no one
        // With the tunnel gone the hook finds nothing listening and holds the signal there.
        EXPECT_EQ(fixtures::runFloodmark(hook, remoteHome.path()).status, 0);
        EXPECT_TRUE(fixtures::fileExists(remoteHome.file(".tolvera/l.replay.json")));
        std::remove(remoteHome.file(".tolvera/l.replay.json").c_str());
    }
    EXPECT_EQ(signals(), 2);
    saver.stop(SIGTERM);
}

}  // namespace
}  // namespace floodmark
