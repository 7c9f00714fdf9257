#include "FloodmarkSaver/live/LiveDemandAggregator.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace floodmark {
namespace {

constexpr double t0 = 1'700'000'000;

LiveSignal signal(LiveEvent event, std::string session = "s1") {
    return LiveSignal{.tool = "agent", .session = std::move(session), .event = event};
}

TEST(LiveDemandAggregator, AMatureCalibrationNormalisesThroughTheCurve) {
    nlohmann::json file = {{"schema", 3}};
    std::string today = LiveDemandCalibration::key(t0);
    for (int day = 0; day < 3; ++day) {
        std::string key = LiveDemandCalibration::key(t0 - day * 86400.0);
        file["y"][key] = 2.0;
        file["x"][key] = 4.0;
    }
    auto calibration = std::make_shared<LiveDemandCalibration>(&file);
    LiveDemandAggregator aggregator(calibration);
    ASSERT_TRUE(calibration->isMature());
    for (const char* session : {"a", "b"}) {
        aggregator.ingest(signal(LiveEvent::promptSubmitted, session), t0);
    }
    auto reading = aggregator.tick(t0, 0);
    // Load 1.1 of a usual 2 and 2 agents of a usual 4, on the curve's straight run:
    // 0.95 × (0.26 + 0.74 × 0.2 / 0.65) and 0.9 × (0.26 + 0.74 × 0.15 / 0.65).
    EXPECT_DOUBLE_EQ(reading.y, 0.46330769230769236);
    EXPECT_DOUBLE_EQ(reading.x, 0.3876923076923077);
}

TEST(LiveDemandAggregator, TheCurveMeetsItselfAndReachesOne) {
    using Agg = LiveDemandAggregator;
    EXPECT_EQ(Agg::curve(0), 0);
    EXPECT_EQ(Agg::curve(-1), 0);
    EXPECT_EQ(Agg::curve(std::nan("")), 0);
    EXPECT_NEAR(Agg::curve(0.35), 0.26, 1e-12);
    EXPECT_NEAR(Agg::curve(std::nextafter(0.35, 1.0)), 0.26, 1e-12);
    EXPECT_NEAR(Agg::curve(std::nextafter(1.0, 0.0)), 1, 1e-12);
    EXPECT_EQ(Agg::curve(5), 1);
    EXPECT_LT(Agg::curve(0.2), Agg::curve(0.3));
}

// Day keys depend on the machine's time zone; these tests pin it to UTC.
class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        savedZone_ = zone ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (savedZone_) {
            setenv("TZ", savedZone_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> savedZone_;
};

constexpr double march8 = 1741392000 + 43200;  // 2025-03-08 12:00 UTC

TEST_F(CalibrationTest, MiddleMean) {
    using Cal = LiveDemandCalibration;
    EXPECT_EQ(Cal::middleMean({1.5}, 0.8), 1.5);
    EXPECT_EQ(Cal::middleMean({0.3}, 0.8), 0.8);
    EXPECT_EQ(Cal::middleMean({0.5, 1.2}, 0.8), 1.2);
    EXPECT_EQ(Cal::middleMean({10, 1, 3, 2}, 0.8), 2.5);
    EXPECT_EQ(Cal::middleMean({2, 2, 2}, 0.8), 2);
    EXPECT_EQ(Cal::middleMean({1, 1, 1}, 2), 2);
    EXPECT_EQ(Cal::middleMean({0, -3, std::nan(""), 1.5}, 0.8), 1.5);
    EXPECT_EQ(Cal::middleMean({}, 2), 2);

    LiveDemandCalibration empty;
    EXPECT_FALSE(empty.isMature());
    EXPECT_EQ(empty.yDenominator(), 0.8);
    EXPECT_EQ(empty.xDenominator(), 2);
}

TEST_F(CalibrationTest, ObservingSmoothsTheLoadAndCatchesUpAfterAPause) {
    LiveDemandCalibration calibration;
    calibration.observe(1, 1, march8, 0.25);
    EXPECT_DOUBLE_EQ(calibration.sustainedY(), 1 - std::exp(-0.25 / 60));
    calibration.observe(2, 1, march8 + 600, 0.25);
    EXPECT_NEAR(calibration.sustainedY(), 2, 1e-3);
    EXPECT_EQ(calibration.dailySustainedY().at("2025-03-08"), calibration.sustainedY());
    EXPECT_EQ(calibration.dailyMaxX().at("2025-03-08"), 1);

    // A non-finite load is not smoothed in; no demand makes no entry.
    double before = calibration.sustainedY();
    calibration.observe(std::nan(""), 0, march8 + 601, 1);
    EXPECT_EQ(calibration.sustainedY(), before);
    LiveDemandCalibration quiet;
    quiet.observe(0, 0, march8, 1);
    EXPECT_TRUE(quiet.dailySustainedY().empty());
    EXPECT_TRUE(quiet.dailyMaxX().empty());
}

TEST_F(CalibrationTest, KeepsAWeekOfDays) {
    nlohmann::json file = {
        {"schema", 3},
        {"y", {{"2025-03-01", 1.0}, {"2025-03-02", 1.0}, {"2025-03-07", 1.0}}},
        {"x", {{"2025-02-20", 3.0}, {"2025-03-02", 3.0}}},
    };
    LiveDemandCalibration calibration(&file);
    EXPECT_TRUE(calibration.isMature());
    calibration.observe(0, 0, march8, 0.25);  // retention runs without demand too
    EXPECT_FALSE(calibration.dailySustainedY().contains("2025-03-01"));
    EXPECT_TRUE(calibration.dailySustainedY().contains("2025-03-02"));
    EXPECT_EQ(calibration.dailyMaxX().size(), 1u);
    EXPECT_FALSE(calibration.isMature());
}

TEST_F(CalibrationTest, RestoresOnlyItsOwnSchemaAndSkipsBadMembers) {
    nlohmann::json wrongSchema = {{"schema", 2}, {"y", {{"2025-03-07", 1.0}}}};
    EXPECT_TRUE(LiveDemandCalibration(&wrongSchema).dailySustainedY().empty());
    nlohmann::json textSchema = {{"schema", "3"}, {"y", {{"2025-03-07", 1.0}}}};
    EXPECT_TRUE(LiveDemandCalibration(&textSchema).dailySustainedY().empty());
    nlohmann::json notObject = nlohmann::json::array({1, 2});
    EXPECT_TRUE(LiveDemandCalibration(&notObject).dailySustainedY().empty());

    nlohmann::json mixed = {
        {"schema", 3.0},
        {"y", {{"2025-03-05", 1.5}, {"2025-03-06", "lots"}, {"2025-03-07", true}}},
        {"x", "none"},
        {"extra", 1},
    };
    LiveDemandCalibration calibration(&mixed);
    EXPECT_EQ(calibration.dailySustainedY(),
              (std::map<std::string, double>{{"2025-03-05", 1.5}, {"2025-03-07", 1.0}}));
    EXPECT_TRUE(calibration.dailyMaxX().empty());

    // What is written restores to the same tables.
    nlohmann::json written = calibration.toJson();
    EXPECT_EQ(written["schema"], 3);
    LiveDemandCalibration again(&written);
    EXPECT_EQ(again.dailySustainedY(), calibration.dailySustainedY());
    EXPECT_EQ(again.toJson(), written);
}

TEST_F(CalibrationTest, DayKeysFollowTheLocalZone) {
    EXPECT_EQ(LiveDemandCalibration::key(march8), "2025-03-08");
    EXPECT_EQ(LiveDemandCalibration::key(1741392000 - 1), "2025-03-07");
    setenv("TZ", "Pacific/Kiritimati", 1);  // UTC+14
    tzset();
    EXPECT_EQ(LiveDemandCalibration::key(1741392000 - 1), "2025-03-08");
}

}  // namespace
}  // namespace floodmark
