#include "platform/idle/InhibitorCookies.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

TEST(InhibitorCookies, EachHolderEndsOnlyItsOwnInhibitorsByCookieOrByLeaving) {
    InhibitorCookies cookies;
    EXPECT_EQ(cookies.add(":1.7"), 1u);
    EXPECT_EQ(cookies.add(":1.8"), 2u);
    EXPECT_EQ(cookies.add(":1.7"), 3u);
    cookies.release(2, ":1.7");
    cookies.release(40, ":1.8");
    EXPECT_EQ(cookies.size(), 3u) << "another's cookie and an unknown one change nothing";
    cookies.release(2, ":1.8");
    EXPECT_EQ(cookies.size(), 2u);
    cookies.holderLeft(":1.9");
    EXPECT_EQ(cookies.size(), 2u);
    cookies.holderLeft(":1.7");
    EXPECT_TRUE(cookies.empty());
    EXPECT_EQ(cookies.add(":1.8"), 4u) << "a cookie is not handed out twice";
}

TEST(InhibitorCookies, HoldsAtMost256AndNeverHandsOutZero) {
    InhibitorCookies cookies(4294967294u);
    EXPECT_EQ(cookies.add(":1.3"), 4294967294u);
    EXPECT_EQ(cookies.add(":1.3"), 4294967295u);
    EXPECT_EQ(cookies.add(":1.3"), 1u) << "past the largest, 0 is skipped";
    for (int more = 0; more < 253; ++more) {
        ASSERT_TRUE(cookies.add(":1.4"));
    }
    EXPECT_EQ(cookies.size(), 256u);
    EXPECT_EQ(cookies.add(":1.5"), std::nullopt);
    cookies.release(1, ":1.3");
    EXPECT_EQ(cookies.add(":1.5"), 255u) << "room again once one ends";
}

}  // namespace
}  // namespace floodmark
