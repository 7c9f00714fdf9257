#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/SocketClient.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <sys/stat.h>

#include <csignal>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace floodmark {
namespace {

using fixtures::CommandRun;
using fixtures::TempDirectory;

class FramesCommand : public ::testing::Test {
protected:
    CommandRun runFloodmark(const std::string& arguments) {
        return fixtures::runFloodmark(arguments, home.path());
    }

    TempDirectory home;
};

TEST_F(FramesCommand, PrintsRestingFramesOnASimulatedClock) {
    CommandRun run = runFloodmark("frames --count 3 --simulated --interval 0.5");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 3u);
    double previousTime = -1;
    for (const auto& line : run.lines) {
        auto frame = nlohmann::json::parse(line);
        EXPECT_EQ(frame["y"], 0.07);
        EXPECT_EQ(frame["x"], 0);
        EXPECT_EQ(frame["style"], "standard");
        EXPECT_EQ(frame["severity"], -1);
        EXPECT_TRUE(frame["message"].is_null());
        EXPECT_EQ(frame["sustain"], nlohmann::json::parse("[null,null,null,null,null]"));
        EXPECT_TRUE(frame["ripples"].is_array());
        EXPECT_TRUE(frame["clock"].is_string());
        double time = frame["time"];
        EXPECT_GE(time, 0);
        if (previousTime >= 0) {
            EXPECT_NEAR(time - previousTime, 0.5, 1e-6);
        }
        previousTime = time;
    }
}

// The frames carry the desktop's reduce-motion setting as the saver reads it, here KDE's.
TEST_F(FramesCommand, CarryTheDesktopsReduceMotionSetting) {
    const std::string config = home.file("config");
    mkdir(config.c_str(), 0700);
    for (const auto& [factor, reduced] : {std::pair{"0", true}, std::pair{"1", false}}) {
        fixtures::writeFile(config + "/kdeglobals",
                            std::string("[KDE]\nAnimationDurationFactor=") + factor + "\n");
        // No session bus: no other desktop has a say.
        fixtures::RunningFloodmark frames(
            {"frames", "--count", "1", "--simulated"}, home.path(),
            {"XDG_CONFIG_HOME=" + config, "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"});
        std::string line;
        ASSERT_TRUE(frames.nextLine(line));
        EXPECT_EQ(nlohmann::json::parse(line)["reduceMotion"], reduced) << factor;
    }
}

TEST_F(FramesCommand, NamesEveryFieldOfTheFrameInOrder) {
    CommandRun run = runFloodmark("frames --count 1 --simulated");
    ASSERT_EQ(run.lines.size(), 1u);
    auto frame = nlohmann::ordered_json::parse(run.lines[0]);
    std::vector<std::string> keys;
    for (const auto& item : frame.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"y", "x", "severity", "style", "time", "ripples",
                                              "pops", "clock", "message", "chromeAlpha",
                                              "reduceMotion", "depth", "sustain"}));
}

TEST_F(FramesCommand, RejectsBadValuesWithOneLineAndStatusTwo) {
    for (const char* arguments :
         {"frames --count 0", "frames --count x", "frames --count", "frames --interval -1",
          "frames --interval nan", "frames --interval 1e999", "frames --bogus", "nothing"}) {
        CommandRun run = runFloodmark(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_GE(run.lines.size(), 1u) << arguments;
    }
}

TEST_F(FramesCommand, FollowsAFreshAwayStateFile) {
    mkdir(home.file(".tolvera").c_str(), 0700);
    fixtures::writeFile(home.file(".tolvera/away_state.json"),
                        R"({"schema":1,"y":0.8,"x":0.4,"severity":3,"updatedAt":")" +
                            formatInternetTime(currentTime()) + R"("})");
    CommandRun run = runFloodmark("frames --count 4 --simulated");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 4u);
    for (const auto& line : run.lines) {
        auto frame = nlohmann::json::parse(line);
        EXPECT_DOUBLE_EQ(frame["y"].get<double>(), 0.8);
        EXPECT_DOUBLE_EQ(frame["x"].get<double>(), 0.4);
        EXPECT_EQ(frame["severity"], 3);
    }
    // Paired, it gave the socket up.
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
}

TEST_F(FramesCommand, AReaderThatGoesAwayStopsItCleanly) {
    std::string command = "HOME='" + home.path() + "' XDG_STATE_HOME= " + FLOODMARK_BINARY +
                          " frames --interval 0.01 | head -2 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // Ended like SIGTERM: the socket let go, what it learned kept, the status told.
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
    EXPECT_TRUE(
        fixtures::fileExists(home.file(".local/state/TolveraFloodmarkSaver/calibration.json")));
}

// A process's status file in the test's home, parsed; null when there is none yet.
nlohmann::json statusOf(const TempDirectory& home, pid_t pid) {
    std::ifstream file(home.file(".local/state/TolveraFloodmarkSaver/status/") +
                       std::to_string(pid) + ".json");
    return nlohmann::json::parse(file, nullptr, false);
}

TEST_F(FramesCommand, TwoProcessesShowTheSameWaterAndTheFollowerTakesOverWhenTheOwnerDies) {
    fixtures::RunningFloodmark owner({"frames"}, home.path());
    std::string line;
    ASSERT_TRUE(owner.nextLine(line));  // bound by its first frame
    fixtures::RunningFloodmark follower({"frames"}, home.path());
    ASSERT_TRUE(follower.nextLine(line));

    std::string socket = home.file(".tolvera/live.sock");
    auto send = [&](const char* bucket) {
        fixtures::SocketClient agent(socket);
        return agent.write(
            std::string(R"({"event":"prompt_submitted","tool":"agent","session":")") + bucket +
            R"(","sizeBucket":")" + bucket + "\"}\n");
    };
    ASSERT_TRUE(send("xl"));
    double ownerY = 0;
    double followerY = 0;
    // Three seconds of frames, side by side.
    for (int frame = 0; frame < 90; ++frame) {
        ASSERT_TRUE(owner.nextLine(line));
        ownerY = nlohmann::json::parse(line)["y"].get<double>();
        ASSERT_TRUE(follower.nextLine(line));
        followerY = nlohmann::json::parse(line)["y"].get<double>();
    }
    EXPECT_GT(ownerY, 0.4);
    EXPECT_NEAR(followerY, ownerY, 0.02);
    EXPECT_EQ(statusOf(home, owner.pid())["ownsBus"], true);
    EXPECT_EQ(statusOf(home, follower.pid())["following"], true);
    EXPECT_EQ(statusOf(home, follower.pid())["mode"], "live");

    // Killed, the owner leaves its socket behind; the follower rests and, at its next attempt
    // to bind, takes the socket over.
    owner.stop(SIGKILL);
    bool tookOver = false;
    for (int frame = 0; frame < 30 * 20 && !tookOver; ++frame) {
        ASSERT_TRUE(follower.nextLine(line));
        tookOver = statusOf(home, follower.pid())["ownsBus"] == true;
    }
    ASSERT_TRUE(tookOver);
    EXPECT_EQ(statusOf(home, follower.pid())["following"], false);
    double rested = nlohmann::json::parse(line)["y"].get<double>();
    ASSERT_TRUE(send("l"));
    double highest = 0;
    for (int frame = 0; frame < 90; ++frame) {
        ASSERT_TRUE(follower.nextLine(line));
        highest = std::max(highest, nlohmann::json::parse(line)["y"].get<double>());
    }
    EXPECT_GT(highest, rested + 0.1);
}

TEST_F(FramesCommand, AgentLinesRaiseTheWaterAndATerminationSignalStopsCleanly) {
    fixtures::RunningFloodmark frames({"frames"}, home.path());
    std::string socket = home.file(".tolvera/live.sock");
    std::string line;
    ASSERT_TRUE(frames.nextLine(line));  // the feed is started and bound by its first frame
    ASSERT_TRUE(fixtures::fileExists(socket));

    fixtures::SocketClient agent(socket);
    ASSERT_TRUE(agent.write(
        R"({"event":"prompt_submitted","tool":"agent","session":"s1","sizeBucket":"xl"})"
        "\n"));
    double highest = 0;
    for (int frame = 0; frame < 300 && highest <= 0.2 && frames.nextLine(line); ++frame) {
        highest = std::max(highest, nlohmann::json::parse(line)["y"].get<double>());
    }
    EXPECT_GT(highest, 0.2);

    EXPECT_EQ(frames.stop(SIGTERM), 0);
    EXPECT_FALSE(fixtures::fileExists(socket));
    auto calibration = nlohmann::json::parse(
        std::ifstream(home.file(".local/state/TolveraFloodmarkSaver/calibration.json")));
    EXPECT_EQ(calibration["schema"], 3);
    EXPECT_EQ(calibration["y"].size(), 1u);  // today's demand was learned
}

}  // namespace
}  // namespace floodmark
