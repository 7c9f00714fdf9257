#include "platform/kit/ShortTimeText.h"

#include <unicode/datefmt.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>

namespace floodmark {

std::string shortTimeText(double now) {
    static const std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kShort));
    // A DateFormat keeps a calendar it mutates while formatting.
    static std::mutex formatting;
    if (!formatter) {
        return {};
    }
    icu::UnicodeString text;
    {
        std::lock_guard lock(formatting);
        formatter->format(now * 1000.0, text);
    }
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

}  // namespace floodmark
