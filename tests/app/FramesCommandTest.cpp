#include "support/RunFloodmark.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace floodmark {
namespace {

using testing::CommandRun;
using testing::runFloodmark;

TEST(FramesCommand, PrintsRestingFramesOnASimulatedClock) {
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

TEST(FramesCommand, NamesEveryFieldOfTheFrameInOrder) {
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

TEST(FramesCommand, RejectsBadValuesWithOneLineAndStatusTwo) {
    for (const char* arguments : {"frames --count 0", "frames --count x", "frames --count",
                                  "frames --interval -1", "frames --interval nan",
                                  "frames --interval 1e999", "frames --bogus", "nothing", ""}) {
        CommandRun run = runFloodmark(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_GE(run.lines.size(), 1u) << arguments;
    }
}

}  // namespace
}  // namespace floodmark
