// Outside JSON is parsed within a nesting depth and a memory bound, whatever arrives.
#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/live/LiveSignal.h"

#include <gtest/gtest.h>

#include <string>

namespace floodmark {
namespace {

std::string nested(std::size_t depth, const std::string& open, const std::string& inner,
                   const std::string& close) {
    std::string text;
    for (std::size_t level = 0; level < depth; ++level) {
        text += open;
    }
    text += inner;
    for (std::size_t level = 0; level < depth; ++level) {
        text += close;
    }
    return text;
}

std::string repeated(const std::string& unit, std::size_t count) {
    std::string text = "[";
    for (std::size_t index = 0; index < count; ++index) {
        text += index == 0 ? unit : "," + unit;
    }
    return text + "]";
}

TEST(JsonText, NestingPast64LevelsIsRefused) {
    struct Case {
        std::string text;
        bool parses;
    };
    const Case cases[] = {
        {nested(64, "[", "", "]"), true},
        {nested(65, "[", "", "]"), false},
        {nested(64, "{\"a\":", "0", "}"), true},
        {nested(65, "{\"a\":", "0", "}"), false},
        {nested(33, "{\"k\":[", "1", "]}"), false},  // 66 levels, objects and arrays mixed
        {nested(16 << 20, "[", "", ""), false},      // 16 MiB of brackets, never closed
        // Brackets inside strings, escaped quotes included, are text, not nesting.
        {"[\"" + std::string(100, '[') + "\\\"" + std::string(100, '{') + "\"]", true},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(!parseJsonText(testCase.text).is_discarded(), testCase.parses)
            << testCase.text.substr(0, 80);
    }
}

TEST(JsonText, TextWhoseValuesWouldTakeMoreThan64MBIsRefused) {
    // 64 MiB at 96 bytes a value, less three times the text: about 650,000 values.
    EXPECT_FALSE(parseJsonText(repeated("0", 500000)).is_discarded());
    EXPECT_TRUE(parseJsonText(repeated("0", 800000)).is_discarded());
    EXPECT_TRUE(parseJsonText(repeated("{}", 600000)).is_discarded());
    EXPECT_TRUE(parseJsonText(repeated("{\"a\":{}}", 300000)).is_discarded());
    // A long string is few values: 16 MiB of text parses.
    auto longText = parseJsonText("\"" + std::string(16 << 20, 'x') + "\"");
    ASSERT_TRUE(longText.is_string());
    EXPECT_EQ(longText.get_ref<const std::string&>().size(), std::size_t{16} << 20);
    EXPECT_TRUE(parseJsonText("\"" + std::string(22 << 20, 'x') + "\"").is_discarded());
}

// Every reader of outside JSON parses through the bounds: a signal line carrying a member
// nested past them is no signal.
TEST(JsonText, ReadersRefuseTooDeepText) {
    auto line = [](std::size_t depth) {
        return R"({"event":"tool_call","tool":"t","session":"s","extra":)" +
               nested(depth, "[", "", "]") + "}";
    };
    EXPECT_TRUE(LiveSignal::tryParse(line(63)));
    EXPECT_FALSE(LiveSignal::tryParse(line(64)));
}

}  // namespace
}  // namespace floodmark
