#include "FloodmarkSaver/paired/PairedState.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace floodmark {
namespace {

using nlohmann::json;

// 2025-03-01T09:30:00Z
constexpr double stampTime = 1740821400;

class PairedStateTest : public ::testing::Test {
protected:
    json valid() {
        return {{"schema", 1}, {"y", 0.5}, {"x", 0.25}, {"updatedAt", "2025-03-01T09:30:00Z"}};
    }
    std::optional<PairedState> read(const json& file, double now = stampTime) {
        return readText(file.dump(), now);
    }
    std::optional<PairedState> readText(const std::string& text, double now = stampTime) {
        fixtures::writeFile(path, text);
        return PairedState::read(path, now);
    }
    std::optional<PairedState> readWith(const char* key, json value) {
        json file = valid();
        file[key] = std::move(value);
        return read(file);
    }

    fixtures::TempDirectory directory;
    std::string path = directory.file("away_state.json");
};

TEST_F(PairedStateTest, AcceptsAMinimalFileWithDefaults) {
    auto state = read(valid());
    ASSERT_TRUE(state);
    EXPECT_EQ(state->y, 0.5);
    EXPECT_EQ(state->x, 0.25);
    EXPECT_EQ(state->severity, -1);
    EXPECT_EQ(state->style, SaverStyle::standard);
    EXPECT_EQ(state->agents, 0);
    EXPECT_EQ(state->mix, 0);
    EXPECT_EQ(state->sustain, absentSustain());
    EXPECT_FALSE(state->impulse);
    EXPECT_FALSE(state->impulseAt);
    EXPECT_EQ(state->awaiting, 0);
    EXPECT_EQ(state->updatedAt, stampTime);
}

TEST_F(PairedStateTest, FreshForTenSecondsAndFromTheFuture) {
    EXPECT_TRUE(read(valid(), stampTime + 10.0));
    EXPECT_FALSE(read(valid(), stampTime + 10.001));
    EXPECT_TRUE(read(valid(), stampTime - 5));
}

TEST_F(PairedStateTest, StampsFollowInternetDateTimes) {
    EXPECT_EQ(readWith("updatedAt", "2025-03-01T09:30:00.250Z")->updatedAt, stampTime + 0.25);
    EXPECT_EQ(readWith("updatedAt", "2025-03-01T11:30:00+02:00")->updatedAt, stampTime);
    EXPECT_EQ(readWith("updatedAt", "2025-03-01T04:30:00.5-05:00")->updatedAt, stampTime + 0.5);
    for (const char* bad : {"2025-03-01T09:30:00", "2025-03-01 09:30:00Z", "2025-03-01",
                            "09:30:00Z", "2025-03-01T09:30:00Zjunk", "", "yesterday"}) {
        EXPECT_FALSE(readWith("updatedAt", bad)) << bad;
    }
    EXPECT_FALSE(readWith("updatedAt", stampTime));
}

TEST_F(PairedStateTest, RejectsABadSchemaOrLevel) {
    EXPECT_FALSE(readWith("schema", 2));
    EXPECT_FALSE(readWith("schema", 1.5));
    EXPECT_FALSE(readWith("schema", "1"));
    EXPECT_TRUE(readWith("schema", 1.0));
    json noSchema = valid();
    noSchema.erase("schema");
    EXPECT_FALSE(read(noSchema));
    EXPECT_FALSE(readWith("y", "0.5"));
    EXPECT_FALSE(readWith("x", nullptr));
    json noX = valid();
    noX.erase("x");
    EXPECT_FALSE(read(noX));
}

TEST_F(PairedStateTest, RejectsWhatIsNotAnObject) {
    EXPECT_FALSE(readText("{}"));
    EXPECT_FALSE(readText("[1]"));
    EXPECT_FALSE(readText(""));
    EXPECT_FALSE(readText(valid().dump().substr(0, 20)));  // half written
    EXPECT_FALSE(PairedState::read(directory.file("missing.json"), stampTime));
    EXPECT_FALSE(PairedState::read(directory.path(), stampTime));
}

TEST_F(PairedStateTest, AFileOverOneMebibyteReadsAsAbsent) {
    EXPECT_FALSE(readText(valid().dump() + std::string(PairedState::maxFileBytes, ' ')));
}

TEST_F(PairedStateTest, ClampsLevelsAndWeights) {
    EXPECT_EQ(readWith("y", 1.7)->y, 1);
    EXPECT_EQ(readWith("x", -3)->x, 0);
    EXPECT_EQ(readWith("agents", 4)->agents, 1);
    EXPECT_EQ(readWith("mix", 0.3)->mix, 0.3);
    EXPECT_EQ(readWith("mix", "lots")->mix, 0);
    EXPECT_EQ(readWith("y", true)->y, 1);  // booleans pass as numbers
}

TEST_F(PairedStateTest, SustainNeedsExactlyFiveElements) {
    auto state = readWith("sustain", json::array({0.2, nullptr, 2, "x", -1}));
    EXPECT_EQ(state->sustain, (SustainSeries{0.2, std::nullopt, 1.0, std::nullopt, 0.0}));
    EXPECT_EQ(readWith("sustain", json::array({1, 1, 1, 1}))->sustain, absentSustain());
    EXPECT_EQ(readWith("sustain", json::array({1, 1, 1, 1, 1, 1}))->sustain, absentSustain());
    EXPECT_EQ(readWith("sustain", "high")->sustain, absentSustain());
}

TEST_F(PairedStateTest, AnImpulseNeedsItsStamp) {
    json file = valid();
    file["impulse"] = "failure";
    EXPECT_FALSE(read(file)->impulse);
    file["impulseAt"] = "2025-03-01T09:29:59Z";
    auto state = read(file);
    EXPECT_EQ(state->impulse, ImpulseKind::failure);
    EXPECT_EQ(state->impulseAt, stampTime - 1);
    file["impulseAt"] = 5;
    EXPECT_FALSE(read(file)->impulse);
    file["impulseAt"] = "2025-03-01T09:29:59Z";
    file["impulse"] = "tool_call";
    state = read(file);
    EXPECT_FALSE(state->impulse);
    EXPECT_FALSE(state->impulseAt);
}

TEST_F(PairedStateTest, SeverityStyleAndAwaiting) {
    EXPECT_EQ(readWith("severity", 2.9)->severity, 2);
    EXPECT_EQ(readWith("severity", -5)->severity, -5);
    EXPECT_EQ(readWith("severity", "3")->severity, -1);
    EXPECT_EQ(readWith("severity", 1e300)->severity, std::numeric_limits<int>::max());
    EXPECT_EQ(readWith("style", "bloom")->style, SaverStyle::bloom);
    EXPECT_EQ(readWith("style", "Bloom")->style, SaverStyle::standard);
    EXPECT_EQ(readWith("awaiting", -2)->awaiting, 0);
    EXPECT_EQ(readWith("awaiting", 3.7)->awaiting, 3);
    EXPECT_EQ(readWith("awaiting", 1e300)->awaiting, std::numeric_limits<long long>::max());
}

}  // namespace
}  // namespace floodmark
