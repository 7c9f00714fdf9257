#include "FloodmarkSaver/hooks/RateLimitReset.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace floodmark {
namespace {

// The reset time as Claude Code writes it into the message it stops with: a time alone is the
// next one, a day without a year the next such day; anything else is no reset time.
TEST(RateLimitReset, ReadsTheResetTimeClaudeCodeWrites) {
    const double now = 1796846400;  // 2026-12-09 20:00 UTC, 21:00 in Berlin
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"You've hit your limit \u00b7 resets 11pm (UTC)", 1796857200},
        {"resets 10am (UTC)", 1796896800},               // tomorrow: 10am today has passed
        {"resets 11:30pm (Europe/Berlin)", 1796855400},  // 22:30 UTC
        {"resets Dec 12, 3:30pm (Europe/Berlin)", 1797085800},
        {"resets Jan 2, 2028, 1am (UTC)", 1830387600},
        {"resets 13pm (UTC)", std::nullopt},
        {"resets 3pm (../../etc/passwd)", std::nullopt},
        {"resets 3pm (No/Such_Zone)", std::nullopt},
        {"Request rejected (429)", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(rateLimitResetIn(text, now), expected) << text;
    }
}

}  // namespace
}  // namespace floodmark
