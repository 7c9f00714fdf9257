#include "FloodmarkSaver/common/Utf8Text.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

// What the JSON writer refuses is exactly what isValidUtf8 refuses, and printableText shows
// each such byte, and each control character, as one U+FFFD.
TEST(Utf8Text, ValidatesAndMakesPrintable) {
    const std::string mark = "\xEF\xBF\xBD";
    struct Case {
        std::string text;
        bool valid;
        std::string printable;
    };
    const Case cases[] = {
        {"", true, ""},
        {"caf\xC3\xA9 \xF0\x9F\x8C\x8A", true, "caf\xC3\xA9 \xF0\x9F\x8C\x8A"},  // é and 🌊
        {"\xFF", false, mark},
        {"\xC0\xAF", false, mark + mark},                        // an overlong '/'
        {"\xED\xA0\x80", false, mark + mark + mark},             // a surrogate
        {"\xF4\x90\x80\x80", false, mark + mark + mark + mark},  // past U+10FFFF
        {"a\xE2\x82", false, "a" + mark + mark},                 // cut short
        {"\x1B[31mred\x07\n", true, mark + "[31mred" + mark + mark},
        {"\xC2\x9B"
         "1m\x7F",
         true, mark + "1m" + mark},  // C1 CSI and DEL
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(isValidUtf8(testCase.text), testCase.valid) << testCase.text;
        EXPECT_EQ(printableText(testCase.text), testCase.printable) << testCase.text;
    }
}

}  // namespace
}  // namespace floodmark
