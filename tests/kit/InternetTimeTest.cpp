#include "platform/kit/InternetTime.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

TEST(InternetTime, ReadsRfc3339DateTimesToTheLetter) {
    struct Case {
        const char* text;
        std::optional<double> seconds;
    };
    const std::optional<double> none;
    const Case cases[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2026-12-09T05:03:07Z", 1796792587},
        {"2026-12-09t05:03:07z", 1796792587},
        {"2026-12-09T07:03:07+02:00", 1796792587},
        {"2026-12-08T23:33:07-05:30", 1796792587},
        {"2026-12-09T05:03:07.25Z", 1796792587.25},
        {"2026-12-09T05:03:07.1234567891Z", 1796792587.1234567891},
        {"1969-12-31T23:59:59Z", -1},
        // A leap second is the first instant of the next minute.
        {"2016-12-31T23:59:60Z", 1483228800},
        // Years far from 1970, where a nanosecond clock overflows.
        {"1677-01-01T00:00:00Z", -9246096000},
        {"2400-02-29T12:00:00Z", 13574606400},
        {"2026-12-9T5:3:7Z", none},
        {"2026-12-09T05:03:07+00", none},
        {"2026-12-09T05:03:07+0:00", none},
        {"2026-12-09T05:03:07+24:00", none},
        {"2026-12-09T05:03:07+05:99", none},
        {"2026-12-09T05:03:07.Z", none},
        {"2026-12-09T05:03:07", none},
        {"2026-12-09 05:03:07Z", none},
        {"2026-02-29T05:03:07Z", none},
        {"2026-13-01T05:03:07Z", none},
        {"2026-12-09T24:00:00Z", none},
        {"2026-12-09T05:60:00Z", none},
        {"2026-12-09T05:03:61Z", none},
        {"2026-12-09T05:03:07Zjunk", none},
        {"", none},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(parseInternetTime(test.text), test.seconds) << test.text;
    }
}

}  // namespace
}  // namespace floodmark
