#include "FloodmarkSaver/paired/PairedState.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <csignal>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

// `floodmark away` pairs the water while it runs, and un-pairs it when it ends: after --for,
// or on SIGTERM.
TEST(AwayCommand, PairsWhileItRunsAndRemovesTheFileAfter) {
    TempDirectory home;
    const std::string path = home.file(".tolvera/away_state.json");
    std::optional<PairedState> seen;
    {
        fixtures::RunningFloodmark away({"away", "--y", "0.8", "--x", "0.25", "--style", "still",
                                         "--severity", "2", "--awaiting", "1", "--for", "1.5"},
                                        home.path());
        ASSERT_TRUE(fixtures::waitUntil(
            [&] { return (seen = PairedState::read(path, currentTime())).has_value(); }));
        EXPECT_EQ(away.waitForExit(10), 0);
    }
    EXPECT_DOUBLE_EQ(seen->y, 0.8);
    EXPECT_DOUBLE_EQ(seen->x, 0.25);
    EXPECT_EQ(seen->style, SaverStyle::still);
    EXPECT_EQ(seen->severity, 2);
    EXPECT_EQ(seen->awaiting, 1);
    EXPECT_FALSE(fixtures::fileExists(path));

    fixtures::RunningFloodmark untilStopped({"away", "--y", "0.5", "--depth", "0.4"}, home.path());
    ASSERT_TRUE(fixtures::waitUntil(
        [&] { return (seen = PairedState::read(path, currentTime())).has_value(); }));
    EXPECT_DOUBLE_EQ(0.6 * seen->agents + 0.4 * seen->mix, 0.4);
    EXPECT_EQ(untilStopped.stop(SIGTERM), 0);
    EXPECT_FALSE(fixtures::fileExists(path));
}

}  // namespace
}  // namespace floodmark
