#include "FloodmarkSaver/feed/FeedMode.h"
#include "FloodmarkSaver/feed/FloodmarkFrame.h"
#include "FloodmarkSaver/feed/ImpulseKind.h"
#include "FloodmarkSaver/feed/SaverStyle.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unordered_set>

namespace floodmark {
namespace {

using nlohmann::json;

constexpr SaverStyle::Case allStyles[] = {SaverStyle::standard, SaverStyle::still,
                                          SaverStyle::bloom,    SaverStyle::unfold,
                                          SaverStyle::mosaic,   SaverStyle::splinter};

TEST(SaverStyle, RawValuesRoundTripExactlyAndNothingElse) {
    for (SaverStyle style : allStyles) {
        EXPECT_EQ(SaverStyle::fromRawValue(style.rawValue()), style);
    }
    EXPECT_EQ(SaverStyle::fromRawValue("Bloom"), std::nullopt);
    EXPECT_EQ(SaverStyle::fromRawValue(" still"), std::nullopt);
    EXPECT_EQ(SaverStyle::fromRawValue(""), std::nullopt);
}

TEST(SaverStyle, LooseValuesFallBackToStandard) {
    json values = {{"bloom", "bloom"}, {"capital", "Bloom"}, {"blank", " still"},
                   {"number", 3},      {"list", {"still"}},  {"null", nullptr}};
    EXPECT_EQ(SaverStyle::from(&values["bloom"]), SaverStyle::bloom);
    for (const char* key : {"capital", "blank", "number", "list", "null"}) {
        EXPECT_EQ(SaverStyle::from(&values[key]), SaverStyle::standard) << key;
    }
    EXPECT_EQ(SaverStyle::from(nullptr), SaverStyle::standard);
}

TEST(SaverStyle, CalmStylesArePausedAndDrawnAsStandard) {
    for (SaverStyle style : allStyles) {
        if (style.isFullBleed()) {
            EXPECT_TRUE(style.isCalm()) << style.rawValue();
        }
        EXPECT_EQ(style.isPaused(), style.isCalm()) << style.rawValue();
        EXPECT_EQ(style.drawn(), style.isCalm() ? SaverStyle::standard : style) << style.rawValue();
    }
    EXPECT_FALSE(SaverStyle(SaverStyle::still).isCalm());
    EXPECT_TRUE(SaverStyle(SaverStyle::splinter).isFullBleed());
    EXPECT_FALSE(SaverStyle(SaverStyle::unfold).isFullBleed());
}

TEST(SaverStyle, HashesByCase) {
    std::unordered_set<SaverStyle> styles(std::begin(allStyles), std::end(allStyles));
    EXPECT_EQ(styles.size(), 6u);
    EXPECT_TRUE(styles.contains(SaverStyle::mosaic));
}

TEST(FeedMode, RawValues) {
    EXPECT_EQ(FeedMode::fromRawValue("live"), FeedMode::live);
    EXPECT_EQ(FeedMode(FeedMode::ambient).rawValue(), "ambient");
    EXPECT_EQ(FeedMode(FeedMode::paired).rawValue(), "paired");
    EXPECT_EQ(FeedMode::fromRawValue("Live"), std::nullopt);
}

TEST(ImpulseKind, ReadsOnlyExactWireStrings) {
    json values = {{"end", "session_end"}, {"camel", "sessionEnd"}, {"number", 1}};
    EXPECT_EQ(ImpulseKind::from(&values["end"]), ImpulseKind::sessionEnd);
    EXPECT_EQ(ImpulseKind::from(&values["camel"]), std::nullopt);
    EXPECT_EQ(ImpulseKind::from(&values["number"]), std::nullopt);
    EXPECT_EQ(ImpulseKind::from(nullptr), std::nullopt);
    EXPECT_EQ(ImpulseKind(ImpulseKind::sessionEnd).rawValue(), "session_end");
    EXPECT_EQ(ImpulseKind::fromRawValue("failure"), ImpulseKind::failure);
    EXPECT_TRUE(ImpulseKind(ImpulseKind::sessionEnd).isPop());
    EXPECT_FALSE(ImpulseKind(ImpulseKind::compaction).isPop());
    EXPECT_FALSE(ImpulseKind(ImpulseKind::failure).isPop());
}

TEST(FloodmarkFrame, DefaultsAndTheRestingFrame) {
    FloodmarkFrame frame{.y = 0.5, .x = 0.2};
    EXPECT_EQ(frame.severity, -1);
    EXPECT_EQ(frame.style, SaverStyle::standard);
    EXPECT_EQ(frame.chromeAlpha, 1);
    EXPECT_TRUE(frame.clock.empty());
    EXPECT_FALSE(frame.message);
    ASSERT_EQ(frame.sustain.size(), 5u);
    for (const auto& value : frame.sustain) {
        EXPECT_FALSE(value);
    }

    FloodmarkFrame resting = FloodmarkFrame::resting();
    EXPECT_EQ(resting.y, 0.07);
    EXPECT_EQ(resting.x, 0);
    EXPECT_TRUE(resting.ripples.empty());
    EXPECT_TRUE(resting.pops.empty());
}

}  // namespace
}  // namespace floodmark
