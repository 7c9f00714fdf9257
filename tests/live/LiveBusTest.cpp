#include "FloodmarkSaver/live/LiveBus.h"
#include "support/SocketClient.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace floodmark {
namespace {

using fixtures::fileExists;
using fixtures::SocketClient;
using fixtures::TempDirectory;
using fixtures::waitUntil;

std::string signalLine(const std::string& session, const std::string& event = "tool_call") {
    return R"({"event":")" + event + R"(","tool":"agent","session":")" + session + "\"}\n";
}

std::string pingLine(const std::string& session) {
    return R"({"event":"ping","session":")" + session + "\"}\n";
}

// What a bus delivered, collected from its queue.
class Recorder {
public:
    LiveBus::SignalHandler onSignal() {
        return [this](const LiveSignal& signal) {
            std::lock_guard lock(mutex_);
            sessions_.push_back(signal.session);
        };
    }
    LiveBus::OtherHandler onOther() {
        return [this](const std::optional<std::string>& session) {
            std::lock_guard lock(mutex_);
            others_.push_back(session.value_or("<unknown>"));
        };
    }
    std::vector<std::string> sessions() {
        std::lock_guard lock(mutex_);
        return sessions_;
    }
    std::vector<std::string> others() {
        std::lock_guard lock(mutex_);
        return others_;
    }
    // Sends a ping from a client of its own and waits until it is heard: every byte written
    // before it on a finished connection has been read by then.
    bool settle(const std::string& path, const std::string& marker) {
        SocketClient client(path);
        client.write(pingLine(marker));
        return waitUntil([&] {
            auto seen = others();
            return std::find(seen.begin(), seen.end(), marker) != seen.end();
        });
    }

private:
    std::mutex mutex_;
    std::vector<std::string> sessions_;
    std::vector<std::string> others_;
};

class LiveBusTest : public ::testing::Test {
protected:
    std::unique_ptr<LiveBus> makeBus(const std::string& at) {
        return std::make_unique<LiveBus>(at, recorder.onOther(), recorder.onSignal());
    }

    TempDirectory directory;
    std::string path = directory.file("live.sock");
    Recorder recorder;
};

TEST_F(LiveBusTest, ServesSeveralClientsAtOnceEachInOrder) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    std::vector<std::unique_ptr<SocketClient>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<SocketClient>(path));
        ASSERT_TRUE(clients.back()->connected());
    }
    for (int round = 0; round < 25; ++round) {
        for (int i = 0; i < 4; ++i) {
            clients[i]->write(signalLine(std::to_string(i) + ":" + std::to_string(round)));
        }
    }
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 100; }));
    std::vector<int> nextRound(4, 0);
    for (const auto& session : recorder.sessions()) {
        int client = session[0] - '0';
        EXPECT_EQ(session.substr(2), std::to_string(nextRound[client]++)) << session;
    }
}

TEST_F(LiveBusTest, SplitsAndJoinsLinesAcrossWrites) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    SocketClient client(path);
    client.write(signalLine("a") + signalLine("b"));
    std::string split = signalLine("c");
    client.write(split.substr(0, 10));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 2; }));
    client.write(split.substr(10, 15));
    client.write(split.substr(25));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 3; }));
    EXPECT_EQ(recorder.sessions(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(LiveBusTest, AnUnfinishedLastLineIsDropped) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    {
        SocketClient client(path);
        std::string line = signalLine("lost");
        client.write(line.substr(0, line.size() - 1));
    }
    ASSERT_TRUE(recorder.settle(path, "marker"));
    EXPECT_TRUE(recorder.sessions().empty());
}

TEST_F(LiveBusTest, ClassifiesPingsUnknownEventsAndJunk) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    SocketClient client(path);
    client.write(
        "\n\xff\xfe\n"
        R"({"event":"stop","session":"no-tool"})"
        "\n"
        R"({"event":"Stop","tool":"a","session":"s"})"
        "\n" +
        pingLine("p1") + "[1,2]\n" + signalLine("real", "stop") + "\r\n");
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 1; }));
    EXPECT_EQ(recorder.sessions(), std::vector<std::string>{"real"});
    EXPECT_EQ(recorder.others(), (std::vector<std::string>{"<unknown>", "p1"}));
}

TEST_F(LiveBusTest, AnOverLongLineIsDiscardedAndTheNextOneRead) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    SocketClient client(path);
    std::string huge = R"({"event":"stop","tool":"agent","session":")" +
                       std::string(LiveBus::maxLineBytes, 'x') + "\"}\n";
    ASSERT_TRUE(client.write(huge + signalLine("after")));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 1; }));
    EXPECT_EQ(recorder.sessions(), std::vector<std::string>{"after"});

    // A line just inside the limit still counts.
    std::string padded = R"({"event":"stop","tool":"agent","session":"edge","pad":")";
    padded += std::string(LiveBus::maxLineBytes - padded.size() - 2, 'y') + "\"}";
    ASSERT_EQ(padded.size(), LiveBus::maxLineBytes);
    ASSERT_TRUE(client.write(padded + "\n"));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 2; }));
    EXPECT_EQ(recorder.sessions().back(), "edge");
}

TEST_F(LiveBusTest, TakesOverAStaleSocketButNeverAnotherFile) {
    fixtures::leaveStaleSocket(path);
    ASSERT_TRUE(fileExists(path));
    auto bus = makeBus(path);
    EXPECT_TRUE(bus->start());
    EXPECT_TRUE(LiveBus::somethingListens(path));
    bus->stop();
    EXPECT_FALSE(fileExists(path));

    std::string userFile = directory.file("notes.txt");
    fixtures::writeFile(userFile, "keep me");
    auto other = makeBus(userFile);
    EXPECT_FALSE(other->start());
    EXPECT_TRUE(fileExists(userFile));

    mkdir(directory.file("folder").c_str(), 0700);
    EXPECT_FALSE(makeBus(directory.file("folder"))->start());
    symlink(userFile.c_str(), directory.file("link").c_str());
    EXPECT_FALSE(makeBus(directory.file("link"))->start());
    EXPECT_TRUE(fileExists(directory.file("link")));
}

TEST_F(LiveBusTest, ASecondBusIsRefusedWhileTheFirstListens) {
    auto first = makeBus(path);
    ASSERT_TRUE(first->start());
    Recorder otherRecorder;
    LiveBus second(path, otherRecorder.onOther(), otherRecorder.onSignal());
    EXPECT_FALSE(second.start());
    second.stop();  // a bus that never listened removes nothing
    EXPECT_TRUE(fileExists(path));
    SocketClient client(path);
    client.write(signalLine("still-first"));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 1; }));
}

TEST_F(LiveBusTest, StartsTwiceStopsAndStartsAgain) {
    auto bus = makeBus(path);
    EXPECT_TRUE(bus->start());
    EXPECT_TRUE(bus->start());
    bus->stop();
    EXPECT_FALSE(LiveBus::somethingListens(path));
    EXPECT_TRUE(bus->start());
    SocketClient client(path);
    client.write(signalLine("again"));
    EXPECT_TRUE(waitUntil([&] { return recorder.sessions().size() == 1; }));
}

TEST_F(LiveBusTest, MakesAPrivateDirectoryAndSocket) {
    std::string nested = directory.file("a/b/live.sock");
    auto bus = makeBus(nested);
    ASSERT_TRUE(bus->start());
    struct stat status {};
    ASSERT_EQ(stat(nested.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(directory.file("a").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(directory.file("a/b").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(LiveBusTest, PathsBeyond103BytesAreRefused) {
    std::string base = directory.path() + "/";
    std::string fits = base + std::string(103 - base.size(), 's');
    std::string tooLong = base + std::string(104 - base.size(), 'l');
    ASSERT_EQ(fits.size(), 103u);
    auto bus = makeBus(fits);
    EXPECT_TRUE(bus->start());
    EXPECT_TRUE(LiveBus::somethingListens(fits));
    EXPECT_FALSE(makeBus(tooLong)->start());
    EXPECT_FALSE(LiveBus::somethingListens(tooLong));
    EXPECT_FALSE(fileExists(tooLong));
}

TEST_F(LiveBusTest, NoCallbackRunsOnceStopHasReturned) {
    std::atomic<bool> stopped = false;
    std::atomic<int> late = 0;
    std::atomic<int> heard = 0;
    LiveBus bus(path, nullptr, [&](const LiveSignal&) {
        ++heard;
        if (stopped) {
            ++late;
        }
    });
    ASSERT_TRUE(bus.start());
    std::atomic<bool> writing = true;
    std::vector<std::thread> writers;
    for (int i = 0; i < 3; ++i) {
        writers.emplace_back([&] {
            SocketClient client(path);
            while (writing && client.write(signalLine("busy"))) {
            }
        });
    }
    ASSERT_TRUE(waitUntil([&] { return heard > 100; }));
    bus.stop();
    stopped = true;
    writing = false;
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(late, 0);
    EXPECT_FALSE(fileExists(path));
}

TEST_F(LiveBusTest, KeepsServingWhileOutOfDescriptorsAndAcceptsAgainAfter) {
    auto bus = makeBus(path);
    ASSERT_TRUE(bus->start());
    SocketClient early(path);
    early.write(signalLine("early"));
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 1; }));
    SocketClient late(path);  // connected, but not yet accepted once descriptors run out

    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 256;
    setrlimit(RLIMIT_NOFILE, &tight);
    std::vector<int> hoard;
    for (int descriptor; (descriptor = open("/dev/null", O_RDONLY)) >= 0;) {
        hoard.push_back(descriptor);
    }
    late.write(signalLine("late"));
    early.write(signalLine("early-again"));
    bool servedWhileStarved = waitUntil([&] { return recorder.sessions().size() >= 2; });
    for (int descriptor : hoard) {
        close(descriptor);
    }
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_TRUE(servedWhileStarved);
    ASSERT_TRUE(waitUntil([&] { return recorder.sessions().size() == 3; }));
    auto sessions = recorder.sessions();
    EXPECT_NE(std::find(sessions.begin(), sessions.end(), "late"), sessions.end());
    EXPECT_NE(std::find(sessions.begin(), sessions.end(), "early-again"), sessions.end());
}

TEST(LiveBusPaths, DefaultSocketPathFollowsTheHomeDirectory) {
    EXPECT_EQ(LiveBus::defaultSocketPath("/home/ana"), "/home/ana/.tolvera/live.sock");
    EXPECT_EQ(LiveBus::defaultSocketPath("/Users/ana/Library/Containers/com.x/Data"),
              "/Users/ana/Library/Containers/com.x/Data/l.sock");
    EXPECT_EQ(LiveBus::defaultSocketPath("/home/ana/"), "/home/ana//.tolvera/live.sock");
}

}  // namespace
}  // namespace floodmark
