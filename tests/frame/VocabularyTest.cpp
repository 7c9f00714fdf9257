#include "FloodmarkSaver/frame/FeedMode.h"
#include "FloodmarkSaver/frame/ImpulseKind.h"
#include "FloodmarkSaver/frame/SaverStyle.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace floodmark {
namespace {

using nlohmann::json;

// The wire names other programs write: each case's text exactly, and nothing near it.
TEST(Vocabulary, EachCaseHasExactlyItsWireName) {
    const std::pair<SaverStyle::Case, const char*> styles[] = {
        {SaverStyle::standard, "standard"}, {SaverStyle::still, "still"},
        {SaverStyle::bloom, "bloom"},       {SaverStyle::unfold, "unfold"},
        {SaverStyle::mosaic, "mosaic"},     {SaverStyle::splinter, "splinter"}};
    for (auto [style, name] : styles) {
        EXPECT_EQ(SaverStyle(style).rawValue(), name);
        EXPECT_EQ(SaverStyle::fromRawValue(name), style) << name;
    }
    const std::pair<FeedMode::Case, const char*> modes[] = {
        {FeedMode::paired, "paired"}, {FeedMode::live, "live"}, {FeedMode::ambient, "ambient"}};
    for (auto [mode, name] : modes) {
        EXPECT_EQ(FeedMode(mode).rawValue(), name);
        EXPECT_EQ(FeedMode::fromRawValue(name), mode) << name;
    }
    const std::pair<ImpulseKind::Case, const char*> impulses[] = {
        {ImpulseKind::compaction, "compaction"},
        {ImpulseKind::failure, "failure"},
        {ImpulseKind::sessionEnd, "session_end"}};
    for (auto [kind, name] : impulses) {
        EXPECT_EQ(ImpulseKind(kind).rawValue(), name);
        EXPECT_EQ(ImpulseKind::fromRawValue(name), kind) << name;
    }
    for (const char* near : {"Bloom", " still", "", "Live", "sessionEnd", "session-end"}) {
        EXPECT_EQ(SaverStyle::fromRawValue(near), std::nullopt) << near;
        EXPECT_EQ(FeedMode::fromRawValue(near), std::nullopt) << near;
        EXPECT_EQ(ImpulseKind::fromRawValue(near), std::nullopt) << near;
    }
}

TEST(Vocabulary, LooseJsonStylesFallBackToStandardAndLooseImpulsesToNone) {
    json values = {{"bloom", "bloom"},  {"capital", "Bloom"}, {"number", 3},
                   {"list", {"still"}}, {"null", nullptr},    {"end", "session_end"}};
    EXPECT_EQ(SaverStyle::from(&values["bloom"]), SaverStyle::bloom);
    EXPECT_EQ(ImpulseKind::from(&values["end"]), ImpulseKind::sessionEnd);
    for (const char* key : {"capital", "number", "list", "null"}) {
        EXPECT_EQ(SaverStyle::from(&values[key]), SaverStyle::standard) << key;
        EXPECT_EQ(ImpulseKind::from(&values[key]), std::nullopt) << key;
    }
    EXPECT_EQ(SaverStyle::from(nullptr), SaverStyle::standard);
    EXPECT_EQ(ImpulseKind::from(nullptr), std::nullopt);
}

// While the calm styles are paused, each is drawn as the standard water; full-bleed ones have no
// body; only the end of a session pops rather than ripples.
TEST(Vocabulary, WhatEachCaseDraws) {
    struct Row {
        SaverStyle::Case style;
        bool calm, fullBleed;
        SaverStyle::Case drawn;
    };
    const Row rows[] = {
        {SaverStyle::standard, false, false, SaverStyle::standard},
        {SaverStyle::still, false, false, SaverStyle::still},
        {SaverStyle::bloom, true, false, SaverStyle::standard},
        {SaverStyle::unfold, true, false, SaverStyle::standard},
        {SaverStyle::mosaic, true, true, SaverStyle::standard},
        {SaverStyle::splinter, true, true, SaverStyle::standard},
    };
    for (const Row& row : rows) {
        SaverStyle style = row.style;
        EXPECT_EQ(style.isCalm(), row.calm) << style.rawValue();
        EXPECT_EQ(style.isFullBleed(), row.fullBleed) << style.rawValue();
        EXPECT_EQ(style.drawn(), row.drawn) << style.rawValue();
    }
    EXPECT_TRUE(ImpulseKind(ImpulseKind::sessionEnd).isPop());
    EXPECT_FALSE(ImpulseKind(ImpulseKind::compaction).isPop());
    EXPECT_FALSE(ImpulseKind(ImpulseKind::failure).isPop());
}

}  // namespace
}  // namespace floodmark
